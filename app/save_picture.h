// "Save Picture...": the view's pixels as a PNG picture.
#pragma once

#include <string>

// Asks where to save, then saves the view there; failures get a box naming the file and the reason.
void SavePictureAs();

// Draws the frame and writes the pixels the view shows, as an RGB PNG, to path. False with the
// reason in message when there are no pixels or the file cannot be written (nothing is left then).
// A read-only file (or one with other names) is replaced only with replaceProtected.
bool SaveViewPicture(const std::string& path, std::string* message, bool replaceProtected = false);
