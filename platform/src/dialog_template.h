// Reading DIALOG and DIALOGEX templates out of resource-script text.
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
