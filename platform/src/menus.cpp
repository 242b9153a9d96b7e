// Menus from the resource scripts and the menu bar that shows a top-level window's menu.
#include "platform_state.h"
#include "resource_script.h"
#include "resources.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Item.H>

#include <cstdio>
#include <cstring>
#include <deque>
#include <strings.h>

namespace {

std::unordered_map<uintptr_t, MenuTemplate>& Menus() {
  static std::unordered_map<uintptr_t, MenuTemplate> menus;
  return menus;
}

HMENU NewMenuHandle() {
  static uintptr_t next = 0x30000;
  next += 4;
  return reinterpret_cast<HMENU>(next);
}

// The FLTK shortcut that an accelerator's name after the tab spells, such as "Ctrl+E"; 0 for none.
int ShortcutOfName(const std::string& name) {
  int modifiers = 0;
  size_t at = 0;
  const struct { const char* prefix; int flag; } kModifiers[] = {{"Ctrl+", FL_CTRL}, {"Shift+", FL_SHIFT}, {"Alt+", FL_ALT}};
  for (bool found = true; found;) {
    found = false;
    for (const auto& modifier : kModifiers) {
      const size_t length = std::strlen(modifier.prefix);
      if (strncasecmp(name.c_str() + at, modifier.prefix, length) == 0) {
        modifiers |= modifier.flag;
        at += length;
        found = true;
      }
    }
  }
  const std::string key = name.substr(at);
  if (key.size() == 1) return modifiers | std::tolower(static_cast<unsigned char>(key[0]));
  if (key.size() >= 2 && (key[0] == 'F' || key[0] == 'f')) {
    const int number = std::atoi(key.c_str() + 1);
    if (number >= 1 && number <= 12) return modifiers | (FL_F + number);
  }
  return 0;
}

// A bar of pull-down menus drawn as Windows' classic menu bar. While a menu is pulled down the
// program's messages are still delivered, as during Windows' menu loop.
class MenuBarWidget : public Fl_Menu_Bar {
 public:
  MenuBarWidget(int x, int y, int width, int height) : Fl_Menu_Bar(x, y, width, height) {}
  int handle(int event) override {
    int result = 0;
    RunNestedLoop([&] { result = Fl_Menu_Bar::handle(event); });
    return result;
  }
  std::deque<std::string> labels;  // the items' texts, which the items point into
  std::vector<Fl_Menu_Item> items;
};

// The chosen item's identifier comes to the window as WM_COMMAND, as from Windows' menu loop.
void ItemChosen(Fl_Widget* bar, void* id) {
  PostMessageA(HandleOfWidget(bar), WM_COMMAND, MAKEWPARAM(reinterpret_cast<uintptr_t>(id), 0), 0);
}

void AddItems(MenuBarWidget* bar, const std::vector<MenuItemTemplate>& items) {
  for (const MenuItemTemplate& item : items) {
    if (item.separator) {
      if (!bar->items.empty()) bar->items.back().flags |= FL_MENU_DIVIDER;
      continue;
    }
    const size_t tab = item.text.find('\t');
    bar->labels.push_back(item.text.substr(0, tab));
    Fl_Menu_Item entry = {};
    entry.text = bar->labels.back().c_str();
    entry.shortcut_ = tab == std::string::npos ? 0 : ShortcutOfName(item.text.substr(tab + 1));
    entry.labelsize_ = bar->textsize();
    if (item.grayed) entry.flags |= FL_MENU_INACTIVE;
    if (item.checked) entry.flags |= FL_MENU_TOGGLE | FL_MENU_VALUE;
    if (item.popup) {
      entry.flags |= FL_SUBMENU;
      bar->items.push_back(entry);
      AddItems(bar, item.items);
      bar->items.push_back(Fl_Menu_Item());  // the end of the pop-up
      continue;
    }
    entry.callback_ = ItemChosen;
    entry.user_data_ = reinterpret_cast<void*>(static_cast<uintptr_t>(item.id));
    bar->items.push_back(entry);
  }
}

}  // namespace

Fl_Widget* CreateMenuBar(WindowRecord& record, int width) {
  MenuBarWidget* bar = new MenuBarWidget(0, 0, width, kMenuBarHeight);
  bar->user_data(record.handle);
  bar->box(FL_FLAT_BOX);
  bar->down_box(FL_FLAT_BOX);
  bar->color(FL_BACKGROUND_COLOR);
  bar->selection_color(fl_rgb_color(0, 0, 128));  // the classic scheme's highlight
  bar->textfont(FL_HELVETICA);
  bar->textsize(12);
  auto found = Menus().find(reinterpret_cast<uintptr_t>(record.menu));
  if (found != Menus().end()) AddItems(bar, found->second.items);
  bar->items.push_back(Fl_Menu_Item());
  bar->menu(bar->items.data());
  return bar;
}

HMENU LoadMenuA(HINSTANCE instance, LPCSTR name) {
  (void)instance;
  if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;  // menus are found by name only
  for (const ResourceScript& script : ResourceScripts()) {
    MenuTemplate menu;
    std::string error;
    if (ParseMenuTemplate(script.text, name, &menu, &error)) {
      HMENU handle = NewMenuHandle();
      Menus()[reinterpret_cast<uintptr_t>(handle)] = menu;
      return handle;
    }
    if (error.rfind("no menu named", 0) != 0) {
      std::fprintf(stderr, "koravel: menu \"%s\" in %s: %s\n", name, script.name.c_str(), error.c_str());
      return nullptr;
    }
  }
  return nullptr;
}

HMENU GetMenu(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  return record != nullptr ? record->menu : nullptr;
}

BOOL DestroyMenu(HMENU menu) { return Menus().erase(reinterpret_cast<uintptr_t>(menu)) != 0 ? TRUE : FALSE; }
