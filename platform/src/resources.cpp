// The program's resources: embedded resource scripts, icons and cursors.
#include "resources.h"

#include <windows.h>

#include <cstring>
#include <strings.h>

namespace {

std::vector<ResourceScript>& Scripts() {
  static std::vector<ResourceScript> scripts;  // filled while static objects are built
  return scripts;
}

// Stand-in handles for the system's stock icons and cursors.
constexpr uintptr_t kStockHandleBase = 0x7F000000;

}  // namespace

bool KoravelRegisterResourceScript(const char* name, const char* text, size_t size) {
  if (name == nullptr || text == nullptr) return false;
  Scripts().push_back(ResourceScript{name, std::string(text, size)});
  return true;
}

const std::vector<ResourceScript>& ResourceScripts() { return Scripts(); }

// Only the system's icons exist: the program's resources hold none.
HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr || name == nullptr || !IS_INTRESOURCE(name)) return nullptr;
  return reinterpret_cast<HICON>(kStockHandleBase + reinterpret_cast<uintptr_t>(name));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr || name == nullptr || !IS_INTRESOURCE(name)) return nullptr;
  return reinterpret_cast<HCURSOR>(kStockHandleBase + reinterpret_cast<uintptr_t>(name));
}
