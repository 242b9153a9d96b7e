// Texts in UTF-8 on Windows: through the wide-character calls, whatever the system's code page.
#include "platform/utf8/utf8_text.h"

#include <commdlg.h>

#include <cstring>
#include <vector>

namespace {

std::wstring Wide(const char* text, size_t length) {
  if (length == 0) return std::wstring();
  const int count = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0);
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), &wide[0], count);
  return wide;
}

std::wstring Wide(const char* text) { return text == nullptr ? std::wstring() : Wide(text, strlen(text)); }

std::string Utf8(const wchar_t* wide, size_t length) {
  if (length == 0) return std::string();
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), &text[0], count, nullptr, nullptr);
  return text;
}

// A list of strings each ended by a null, the list by a second one (a filter).
std::wstring WideList(const char* list) {
  if (list == nullptr) return std::wstring();
  size_t length = 0;
  while (list[length] != '\0' || list[length + 1] != '\0') ++length;
  std::wstring wide = Wide(list, length + 1);
  wide.push_back(L'\0');
  return wide;
}

}  // namespace

std::string GetDlgItemTextUtf8(HWND dialog, int control) {
  HWND item = GetDlgItem(dialog, control);
  const int length = GetWindowTextLengthW(item);
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(item, text.data(), length + 1);
  return Utf8(text.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

BOOL SetDlgItemTextUtf8(HWND dialog, int control, const std::string& text) {
  return SetDlgItemTextW(dialog, control, Wide(text.c_str()).c_str());
}

int WINAPI MessageBoxUtf8(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}

BOOL WINAPI GetSaveFileNameUtf8(LPOPENFILENAMEA dialog) {
  const std::wstring filter = WideList(dialog->lpstrFilter);
  const std::wstring title = Wide(dialog->lpstrTitle), extension = Wide(dialog->lpstrDefExt);
  const std::wstring folder = Wide(dialog->lpstrInitialDir);
  std::vector<wchar_t> path(dialog->nMaxFile > 0 ? dialog->nMaxFile : 1, L'\0');
  const std::wstring shown = Wide(dialog->lpstrFile);
  shown.copy(path.data(), path.size() - 1);
  OPENFILENAMEW wide = {};
  wide.lStructSize = sizeof wide;
  wide.hwndOwner = dialog->hwndOwner;
  wide.hInstance = dialog->hInstance;
  wide.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  wide.nFilterIndex = dialog->nFilterIndex;
  wide.lpstrFile = path.data();
  wide.nMaxFile = static_cast<DWORD>(path.size());
  wide.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  wide.lpstrTitle = title.empty() ? nullptr : title.c_str();
  wide.Flags = dialog->Flags;
  wide.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  if (!GetSaveFileNameW(&wide)) return FALSE;
  // The chosen path, in UTF-8, where the caller gave room for it.
  const std::string chosen = Utf8(path.data(), wcslen(path.data()));
  if (chosen.size() + 1 > dialog->nMaxFile) return FALSE;
  memcpy(dialog->lpstrFile, chosen.c_str(), chosen.size() + 1);
  dialog->nFilterIndex = wide.nFilterIndex;
  return TRUE;
}
