// The one door through which the program shows its message boxes.
#pragma once

#include <windows.h>

typedef int(WINAPI* MessageBoxFunction)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// MessageBoxUtf8 (texts in UTF-8) unless a test has put a recorder in its place.
extern MessageBoxFunction showMessageBox;
