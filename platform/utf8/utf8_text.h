// Texts of dialog controls, message boxes and the save-file dialog in UTF-8 on every system: the
// wide-character calls on Windows, the layer's own (UTF-8) calls on Linux.
#pragma once

#include <windows.h>

#include <string>

// A control's whole text, however long.
std::string GetDlgItemTextUtf8(HWND dialog, int control);
BOOL SetDlgItemTextUtf8(HWND dialog, int control, const std::string& text);

// As MessageBoxA, with the text and caption in UTF-8.
int WINAPI MessageBoxUtf8(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// As GetSaveFileNameA, with every string of the record in UTF-8, the chosen path included.
BOOL WINAPI GetSaveFileNameUtf8(LPOPENFILENAMEA dialog);
