// The standard save-file dialog: GetSaveFileNameA on FLTK's native file chooser.
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Window.H>

#include <clocale>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

DWORD lastError = 0;

// Windows' "*.png;*.PNG" is FLTK's "{*.png,*.PNG}"; "*.*" matches every name.
std::string PatternOf(const std::string& patterns) {
  if (patterns == "*.*") return "*";
  if (patterns.find(';') == std::string::npos) return patterns;
  std::string alternatives = "{";
  for (char c : patterns) alternatives += c == ';' ? ',' : c;
  return alternatives + "}";
}

// "Name\0pattern\0Name\0pattern\0\0" as FLTK's "Name\tpattern\nName\tpattern".
std::string FilterOf(const char* pairs) {
  std::string filter;
  while (pairs != nullptr && pairs[0] != '\0') {
    const char* name = pairs;
    const char* patterns = name + std::strlen(name) + 1;
    if (!filter.empty()) filter += '\n';
    filter += std::string(name) + '\t' + PatternOf(patterns);
    pairs = patterns + std::strlen(patterns) + 1;
  }
  return filter;
}

std::string CurrentFolder() {
  char folder[4096];
  return getcwd(folder, sizeof folder) != nullptr ? folder : "/";
}

// Where the dialog starts: the folder and the name of the path given, else the initial folder.
void StartAt(Fl_Native_File_Chooser* chooser, const OPENFILENAMEA& dialog) {
  std::string given = dialog.lpstrFile;
  std::string folder = dialog.lpstrInitialDir != nullptr ? dialog.lpstrInitialDir : "";
  const size_t slash = given.rfind('/');
  if (slash != std::string::npos) {
    folder = slash == 0 ? "/" : given.substr(0, slash);
    given = given.substr(slash + 1);
  }
  if (folder.empty()) folder = CurrentFolder();
  chooser->directory(folder.c_str());
  if (!given.empty()) chooser->preset_file(given.c_str());
}

// A name typed without an extension gets the default one.
std::string WithDefaultExtension(const std::string& path, const char* extension) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  if (extension == nullptr || extension[0] == '\0' || hasExtension) return path;
  return path + "." + extension;
}

bool ReturnPath(OPENFILENAMEA* dialog, const std::string& path) {
  if (path.size() + 1 > dialog->nMaxFile) {
    lastError = FNERR_BUFFERTOOSMALL;
    if (dialog->nMaxFile >= 2) {
      const size_t needed = path.size() + 1;
      dialog->lpstrFile[0] = static_cast<char>(needed & 0xFF);
      dialog->lpstrFile[1] = static_cast<char>((needed >> 8) & 0xFF);
    }
    return false;
  }
  std::memcpy(dialog->lpstrFile, path.c_str(), path.size() + 1);
  const size_t slash = path.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  dialog->nFileOffset = static_cast<WORD>(nameAt);
  dialog->nFileExtension = static_cast<WORD>(dot != std::string::npos && dot > nameAt ? dot + 1 : 0);
  return true;
}

// FLTK's chooser is GTK's where GTK is installed, and GTK's loop lets nothing of FLTK's run: neither
// the program's windows nor its queued messages nor its timers. A timeout in GTK's main context lets
// FLTK check every 50 ms while the chooser is open (FLTK's own chooser, without GTK, waits in FLTK).
class FltkDuringGtk {
 public:
  FltkDuringGtk() {
    glib_ = dlopen("libglib-2.0.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (glib_ == nullptr) return;
    auto add = reinterpret_cast<unsigned (*)(unsigned, int (*)(void*), void*)>(dlsym(glib_, "g_timeout_add"));
    remove_ = reinterpret_cast<int (*)(unsigned)>(dlsym(glib_, "g_source_remove"));
    if (add != nullptr && remove_ != nullptr) source_ = add(50, Check, nullptr);
  }
  ~FltkDuringGtk() {
    if (source_ != 0) remove_(source_);
    if (glib_ != nullptr) dlclose(glib_);
  }
  FltkDuringGtk(const FltkDuringGtk&) = delete;
  FltkDuringGtk& operator=(const FltkDuringGtk&) = delete;

 private:
  static int Check(void*) {
    Fl::check();  // FLTK's events and timeouts, then the program's queue (RunNestedLoop's check)
    return 1;     // again in 50 ms
  }
  void* glib_ = nullptr;
  int (*remove_)(unsigned) = nullptr;
  unsigned source_ = 0;
};

}  // namespace

BOOL GetSaveFileNameA(LPOPENFILENAMEA dialog) {
  lastError = 0;
  if (dialog == nullptr || dialog->lpstrFile == nullptr || dialog->nMaxFile == 0) {
    lastError = 0x0002;  // CDERR_INITIALIZATION
    return FALSE;
  }
  if (!EnsureDisplay()) return FALSE;
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
  chooser.title(dialog->lpstrTitle != nullptr ? dialog->lpstrTitle : "Save As");
  const std::string filter = FilterOf(dialog->lpstrFilter);
  if (!filter.empty()) chooser.filter(filter.c_str());
  if (dialog->nFilterIndex > 0) chooser.filter_value(static_cast<int>(dialog->nFilterIndex) - 1);
  if ((dialog->Flags & OFN_OVERWRITEPROMPT) != 0) chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM);
  StartAt(&chooser, *dialog);

  // Modal for its owner, whose top-level window takes no input meanwhile; above it on the screen.
  HWND owner = TopLevelOf(dialog->hwndOwner);
  WindowRecord* ownerRecord = FindWindowRecord(owner);
  const bool disabledOwner = ownerRecord != nullptr && IsWindowEnabled(owner);
  if (disabledOwner) EnableWindow(owner, FALSE);
  if (ownerRecord != nullptr && ownerRecord->widget != nullptr) Fl::first_window(static_cast<Fl_Window*>(ownerRecord->widget));
  // The chooser may start GTK, which sets the locale; the program's numbers are read in the C locale.
  const std::string locale = std::setlocale(LC_ALL, nullptr);
  int result = -1;
  RunNestedLoop([&] {
    FltkDuringGtk fltkGoesOn;
    result = chooser.show();
  });
  std::setlocale(LC_ALL, locale.c_str());
  if (disabledOwner && IsWindow(owner)) EnableWindow(owner, TRUE);

  if (result != 0 || chooser.filename() == nullptr || chooser.filename()[0] == '\0') return FALSE;
  dialog->nFilterIndex = static_cast<DWORD>(chooser.filter_value() + 1);
  return ReturnPath(dialog, WithDefaultExtension(chooser.filename(), dialog->lpstrDefExt)) ? TRUE : FALSE;
}

DWORD CommDlgExtendedError(void) { return lastError; }
