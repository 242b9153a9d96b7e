// The program's resources: embedded resource scripts, icons and cursors.
#include "resources.h"

#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_Window.H>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

namespace {

std::vector<ResourceScript>& Scripts() {
  static std::vector<ResourceScript> scripts;  // filled while static objects are built
  return scripts;
}

// Stand-in handles for the system's stock icons and cursors, and for the program's numbered icons.
constexpr uintptr_t kStockHandleBase = 0x7F000000;
constexpr uintptr_t kProgramIconBase = 0x7E000000;

// A numbered icon of the program: its PNG images as embedded, decoded when first used.
struct ProgramIcon {
  WORD id = 0;
  std::vector<std::string> pngs;
  std::vector<std::unique_ptr<Fl_RGB_Image>> images;
};

std::vector<ProgramIcon>& Icons() {
  static std::vector<ProgramIcon> icons;  // filled while static objects are built
  return icons;
}

ProgramIcon* FindIcon(WORD id) {
  for (ProgramIcon& icon : Icons()) {
    if (icon.id == id) return &icon;
  }
  return nullptr;
}

ProgramIcon* IconOfHandle(HICON handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value <= kProgramIconBase || value > kProgramIconBase + 0xFFFF) return nullptr;
  return FindIcon(static_cast<WORD>(value - kProgramIconBase));
}

const std::vector<std::unique_ptr<Fl_RGB_Image>>& DecodedImages(ProgramIcon& icon) {
  if (icon.images.empty()) {
    for (const std::string& png : icon.pngs) {
      auto image = std::make_unique<Fl_PNG_Image>(nullptr, reinterpret_cast<const unsigned char*>(png.data()),
                                                  static_cast<int>(png.size()));
      if (image->fail() != 0 || image->w() <= 0) {
        std::fprintf(stderr, "koravel: an image of icon %u cannot be read\n", static_cast<unsigned>(icon.id));
        continue;
      }
      icon.images.push_back(std::move(image));
    }
  }
  return icon.images;
}

}  // namespace

bool KoravelRegisterResourceScript(const char* name, const char* text, size_t size) {
  if (name == nullptr || text == nullptr) return false;
  Scripts().push_back(ResourceScript{name, std::string(text, size)});
  return true;
}

const std::vector<ResourceScript>& ResourceScripts() { return Scripts(); }

bool KoravelRegisterIcon(int id, const unsigned char* png, size_t size) {
  if (id <= 0 || id > 0xFFFF || png == nullptr) return false;
  ProgramIcon* icon = FindIcon(static_cast<WORD>(id));
  if (icon == nullptr) {
    Icons().push_back(ProgramIcon());
    icon = &Icons().back();
    icon->id = static_cast<WORD>(id);
  }
  icon->pngs.emplace_back(reinterpret_cast<const char*>(png), size);
  return true;
}

// The system's icons (no instance), or the program's: those hold numbered icons only, as its
// resource script numbers them.
HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (name == nullptr || !IS_INTRESOURCE(name)) return nullptr;
  const uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (instance == nullptr) return reinterpret_cast<HICON>(kStockHandleBase + id);
  return FindIcon(static_cast<WORD>(id)) != nullptr ? reinterpret_cast<HICON>(kProgramIconBase + id) : nullptr;
}

void GiveWindowIcon(Fl_Window* window, HICON handle) {
  ProgramIcon* icon = IconOfHandle(handle);
  if (window == nullptr || icon == nullptr) return;
  std::vector<const Fl_RGB_Image*> images;
  for (const auto& image : DecodedImages(*icon)) images.push_back(image.get());
  if (!images.empty()) window->icons(images.data(), static_cast<int>(images.size()));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr || name == nullptr || !IS_INTRESOURCE(name)) return nullptr;
  return reinterpret_cast<HCURSOR>(kStockHandleBase + reinterpret_cast<uintptr_t>(name));
}
