// The one door through which the program asks where to save a file.
#pragma once

#include <windows.h>

#include <string>

typedef BOOL(WINAPI* SaveFileFunction)(LPOPENFILENAMEA dialog);

// GetSaveFileNameUtf8 (paths in UTF-8) unless a test has put a stand-in in its place.
extern SaveFileFunction chooseSaveFile;

// A read-only file, or one with other names (hard links), is replaced only when the user says so:
// asks over owner. True when path is no such file or the answer is "Yes", which sets *replaceProtected.
bool MayReplace(HWND owner, const std::string& path, bool* replaceProtected);
