// Reading DIALOG, DIALOGEX, MENU and ACCELERATORS resources out of resource-script text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DialogItemTemplate {
  std::string text;
  int id = 0;
  std::string className;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct DialogTemplate {
  std::string name;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::string caption;
  int fontPointSize = 0;  // 0: no FONT statement
  std::string fontFace;
  std::vector<DialogItemTemplate> items;
};

// Finds the dialog named `name` in a resource script and reads it into `result`.
// Returns false with a message naming the line when the script has no such dialog
// or the dialog's text is malformed; `result` is then unspecified.
bool ParseDialogTemplate(const std::string& script, const std::string& name, DialogTemplate* result,
                         std::string* error);

// One item of a MENU resource: a command, a separator or a pop-up with items of its own.
struct MenuItemTemplate {
  std::string text;  // as written, with '&' before a mnemonic and '\t' before an accelerator's name
  int id = 0;
  bool separator = false;
  bool popup = false;
  bool grayed = false;
  bool checked = false;
  std::vector<MenuItemTemplate> items;  // a pop-up's
};

struct MenuTemplate {
  std::string name;
  std::vector<MenuItemTemplate> items;
};

// Finds the menu named `name` and reads it into `result`; false with a message as for dialogs.
bool ParseMenuTemplate(const std::string& script, const std::string& name, MenuTemplate* result, std::string* error);

// One line of an ACCELERATORS resource. A VIRTKEY entry's key is a virtual-key code; an ASCII
// one's a character code.
struct AcceleratorTemplate {
  int key = 0;
  int id = 0;
  bool virtualKey = false;
  bool control = false;
  bool shift = false;
  bool alt = false;
};

// Finds the accelerator table named `name`; false with a message as for dialogs.
bool ParseAcceleratorTable(const std::string& script, const std::string& name,
                           std::vector<AcceleratorTemplate>* result, std::string* error);
