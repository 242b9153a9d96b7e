// What a command-line program needs to know about where its output goes: Windows.
#include "platform/console/console.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// The console's code page before this program set UTF-8, given back at the end.
static UINT previousCodePage = 0;
static void RestoreCodePage() { SetConsoleOutputCP(previousCodePage); }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  previousCodePage = GetConsoleOutputCP();
  if (previousCodePage != 0 && previousCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) atexit(RestoreCodePage);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &text[0], length, nullptr, nullptr);
    text.resize(text.size() - 1);
    arguments.push_back(text);
  }
  LocalFree(wide);
  return arguments;
}
