// Message boxes: a modal FLTK box, or a line in a log file for unattended runs.
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_ask.H>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr UINT kIconMask = 0xF0;

// One line per box: newlines and the separator in the texts are escaped.
std::string LogField(const char* text) {
  std::string field;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\n') {
      field += "\\n";
    } else if (*c == '\r') {
      field += "\\r";
    } else if (*c == '\\') {
      field += "\\\\";
    } else {
      field += *c;
    }
  }
  return field;
}

void AppendToLog(const char* path, const char* caption, const char* text, UINT type) {
  FILE* log = std::fopen(path, "a");
  if (log == nullptr) {
    std::fprintf(stderr, "koravel: cannot append to the message box log %s; the box said: %s: %s\n", path, caption,
                 text);
    return;
  }
  std::fprintf(log, "%s|%s|%u\n", LogField(caption).c_str(), LogField(text).c_str(), type);
  std::fclose(log);
}

void ShowBox(const char* caption, const char* text, UINT type) {
  Fl_Widget* icon = fl_message_icon();
  Fl_Color color = icon->color();
  Fl_Color labelColor = icon->labelcolor();
  fl_message_title(caption);
  UINT kind = type & kIconMask;
  if (kind == MB_ICONERROR) {
    icon->color(FL_RED);
    icon->labelcolor(FL_WHITE);
    fl_alert("%s", text);
  } else if (kind == MB_ICONWARNING) {
    fl_alert("%s", text);
  } else {
    fl_message("%s", text);
  }
  icon->color(color);
  icon->labelcolor(labelColor);
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  (void)owner;
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";
  const char* logPath = std::getenv("KORAVEL_MESSAGEBOX_LOG");
  if (logPath != nullptr && logPath[0] != '\0') {
    AppendToLog(logPath, caption, text, type);
  } else if (EnsureDisplay()) {
    ShowBox(caption, text, type);
  } else {
    std::fprintf(stderr, "%s: %s\n", caption, text);
  }
  return IDOK;
}
