// Texts in UTF-8 on Linux: the layer's calls take UTF-8 as they are.
#include "platform/utf8/utf8_text.h"

#include <vector>

std::string GetDlgItemTextUtf8(HWND dialog, int control) {
  std::vector<char> text(256);
  for (;;) {
    const UINT length = GetDlgItemTextA(dialog, control, text.data(), static_cast<int>(text.size()));
    if (length + 1 < text.size()) return std::string(text.data(), length);
    text.resize(text.size() * 2);
  }
}

BOOL SetDlgItemTextUtf8(HWND dialog, int control, const std::string& text) {
  return SetDlgItemTextA(dialog, control, text.c_str());
}

int WINAPI MessageBoxUtf8(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return MessageBoxA(owner, text, caption, type);
}

BOOL WINAPI GetSaveFileNameUtf8(LPOPENFILENAMEA dialog) { return GetSaveFileNameA(dialog); }
