// The one door through which the program asks where to save a file.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* SaveFileFunction)(LPOPENFILENAMEA dialog);

// GetSaveFileNameA unless a test has put a stand-in in its place.
extern SaveFileFunction chooseSaveFile;
