// Logs for unattended runs of test builds: KORAVEL_TEXT_LOG=FILE appends every text set into a dialog
// control as "<id>\t<text>", KORAVEL_MESSAGEBOX_LOG=FILE appends message boxes as "caption|text|type"
// instead of showing them. Linked only into programs made for scripts and tests, never the shipped one.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform_state.h"

namespace {

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

bool LogMessageBox(const char* caption, const char* text, UINT type, int* answer) {
  const char* path = std::getenv("KORAVEL_MESSAGEBOX_LOG");
  if (path == nullptr || path[0] == '\0') return false;
  FILE* log = std::fopen(path, "a");
  if (log == nullptr) {
    std::fprintf(stderr, "koravel: cannot append to the message box log %s; the box said: %s: %s\n", path, caption,
                 text);
  } else {
    std::fprintf(log, "%s|%s|%u\n", LogField(caption).c_str(), LogField(text).c_str(), type);
    std::fclose(log);
  }
  *answer = (type & 0xF) == MB_YESNO ? IDNO : IDOK;  // a question is answered "No": nothing is replaced unasked
  return true;
}

void LogControlText(int id, const char* text) {
  const char* path = std::getenv("KORAVEL_TEXT_LOG");
  if (path == nullptr || path[0] == '\0') return;
  FILE* log = std::fopen(path, "a");
  if (log == nullptr) return;
  std::fprintf(log, "%d\t%s\n", id, text);
  std::fclose(log);
}

[[maybe_unused]] const bool installed = (unattendedMessageBox = LogMessageBox, unattendedControlText = LogControlText, true);

}  // namespace
