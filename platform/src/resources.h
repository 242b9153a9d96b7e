// The program's resources: the embedded resource scripts and icons.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include <windows.h>

class Fl_RGB_Image;
class Fl_Window;

struct ResourceScript {
  std::string name;
  std::string text;
};

const std::vector<ResourceScript>& ResourceScripts();

// Called by the code koravel_embed_resources generates, while static objects are built.
bool KoravelRegisterResourceScript(const char* name, const char* text, size_t size);

// Called by the code koravel_embed_icon generates: one PNG image of the numbered icon.
bool KoravelRegisterIcon(int id, const unsigned char* png, size_t size);

// Gives a top-level window an icon the program's resources hold (every size of it), for the
// window manager's title bar and task switcher; a stock icon or none gives it nothing.
void GiveWindowIcon(Fl_Window* window, HICON icon);
