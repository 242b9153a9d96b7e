// Drives koravel.exe as a user would: checks the panel against its template, generates, benchmarks, closes.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct TemplateItem {
  DWORD style;
  short x, y, cx, cy;
  DWORD id;
  std::string className;
  std::string text;
};

static int failures = 0;

static void Check(bool ok, const char* what, const std::string& detail = "") {
  if (!ok) {
    ++failures;
    printf("FAILED: %s %s\n", what, detail.c_str());
  }
}

// Reads a name-or-ordinal field of a dialog template; ordinals map to the predefined classes.
static const WORD* ReadNameOrOrdinal(const WORD* p, std::string* out) {
  static const char* const kOrdinalClasses[] = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
  if (*p == 0x0000) {
    out->clear();
    return p + 1;
  }
  if (*p == 0xFFFF) {
    const WORD ordinal = p[1];
    *out = ordinal >= 0x80 && ordinal <= 0x85 ? kOrdinalClasses[ordinal - 0x80] : "#" + std::to_string(ordinal);
    return p + 2;
  }
  out->clear();
  while (*p) out->push_back(static_cast<char>(*p++));
  return p + 1;
}

static const BYTE* AlignDword(const void* p, const BYTE* base) {
  const BYTE* b = static_cast<const BYTE*>(p);
  return base + ((b - base + 3) & ~static_cast<ptrdiff_t>(3));
}

// The controls of the extended dialog template "ConfigDlg" compiled into the program.
static const BYTE* templateBytes = nullptr;

static std::vector<TemplateItem> LoadTemplate(const char* programPath) {
  std::vector<TemplateItem> items;
  HMODULE module = LoadLibraryExA(programPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return items;
  HRSRC resource = FindResourceA(module, "ConfigDlg", MAKEINTRESOURCEA(5));
  if (!resource) return items;
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  templateBytes = base;
  const WORD* p = reinterpret_cast<const WORD*>(base);
  if (p[0] != 1 || p[1] != 0xFFFF) return items;
  const DWORD style = *reinterpret_cast<const DWORD*>(base + 12);
  const WORD count = *reinterpret_cast<const WORD*>(base + 16);
  p = reinterpret_cast<const WORD*>(base + 26);
  std::string ignored;
  p = ReadNameOrOrdinal(p, &ignored);  // menu
  p = ReadNameOrOrdinal(p, &ignored);  // class
  p = ReadNameOrOrdinal(p, &ignored);  // title
  if (style & DS_SETFONT) {
    p += 3;  // point size, weight, italic and charset
    p = ReadNameOrOrdinal(p, &ignored);
  }
  for (WORD i = 0; i < count; ++i) {
    const BYTE* item = AlignDword(p, base);
    TemplateItem t;
    t.style = *reinterpret_cast<const DWORD*>(item + 8);
    const short* rect = reinterpret_cast<const short*>(item + 12);
    t.x = rect[0];
    t.y = rect[1];
    t.cx = rect[2];
    t.cy = rect[3];
    t.id = *reinterpret_cast<const DWORD*>(item + 20);
    p = reinterpret_cast<const WORD*>(item + 24);
    p = ReadNameOrOrdinal(p, &t.className);
    p = ReadNameOrOrdinal(p, &t.text);
    const WORD extra = *p++;
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    items.push_back(t);
  }
  return items;
}

static std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

static std::string ControlText(HWND control) {
  char text[256] = "";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
  return text;
}

static HWND WaitForMainWindow() {
  for (int i = 0; i < 600; ++i) {
    HWND window = FindWindowA("Koravel", "Koravel");
    if (window && IsWindowVisible(window)) return window;
    Sleep(100);
  }
  return nullptr;
}

static HWND FindPanel(HWND mainWindow) {
  for (HWND child = GetWindow(mainWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgItem(child, 1007)) return child;
  }
  return nullptr;
}

static std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

static INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

// Dialog units to pixels as the program's panel maps them: the same template,
// hence the same font and base units, created here in a hidden window.
static RECT MapTemplateRect(const TemplateItem& t) {
  static HWND mapper = nullptr;
  if (!mapper && templateBytes) {
    HWND host = CreateWindowExA(0, "static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    mapper = CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(templateBytes), host,
                                        QuietDialogProc, 0);
  }
  // Position and size are mapped separately, as the dialog manager does.
  RECT r = {t.x, t.y, t.cx, t.cy};
  if (mapper) MapDialogRect(mapper, &r);
  const RECT placed = {r.left, r.top, r.left + r.right, r.top + r.bottom};
  return placed;
}

static void CheckControls(HWND panel, const std::vector<TemplateItem>& items) {
  Check(items.size() == 24, "template has 24 controls", std::to_string(items.size()));
  size_t index = 0;
  for (HWND control = GetWindow(panel, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT), ++index) {
    if (index >= items.size()) break;
    const TemplateItem& t = items[index];
    const std::string where = "control " + std::to_string(index + 1) + " (" + t.text + ")";
    Check(static_cast<WORD>(GetDlgCtrlID(control)) == static_cast<WORD>(t.id), "identifier", where);
    char className[64] = "";
    GetClassNameA(control, className, sizeof className);
    Check(Lower(className) == Lower(t.className), "class", where + ": " + className);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    // The dialog manager turns an edit's WS_BORDER into a client edge.
    const DWORD expectedStyle = Lower(t.className) == "edit" ? t.style & ~static_cast<DWORD>(WS_BORDER) : t.style;
    Check((style & expectedStyle) == expectedStyle, "style", where + ": missing " + std::to_string(expectedStyle & ~style));
    if (Lower(t.className) != "edit") Check(ControlText(control) == t.text, "text", where + ": " + ControlText(control));
    const RECT expected = MapTemplateRect(t);
    RECT actual;
    GetWindowRect(control, &actual);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&actual), 2);
    Check(EqualRect(&expected, &actual) != 0, "rectangle",
          where + ": expected " + RectText(expected) + ", found " + RectText(actual));
  }
  Check(index == 24, "panel has 24 controls", std::to_string(index));
}

static void CheckInitialTexts(HWND panel) {
  const struct { int id; const char* text; } fields[] = {
      {1020, "8.000000"}, {1022, "0"}, {1024, "6.000000"}, {1025, "4"}, {1029, "0.400000"}, {1026, "5"}};
  for (const auto& field : fields) {
    const std::string text = ControlText(GetDlgItem(panel, field.id));
    Check(text == field.text, "initial text", std::to_string(field.id) + ": " + text);
  }
}

static void Click(HWND panel, int id) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetDlgItem(panel, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 30000, &ignored);
}

static std::string WaitForFrameRate(HWND panel) {
  for (int i = 0; i < 1200; ++i) {
    const std::string text = ControlText(GetDlgItem(panel, 1013));
    if (text.rfind("Fps: ", 0) == 0) return text;
    Sleep(50);
  }
  return "";
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: windows_driver PATH-TO-koravel.exe\n");
    return 2;
  }
  const std::vector<TemplateItem> items = LoadTemplate(argv[1]);

  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::string commandLine = std::string("\"") + argv[1] + "\"";
  if (!CreateProcessA(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    printf("FAILED: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }

  HWND mainWindow = WaitForMainWindow();
  HWND panel = mainWindow ? FindPanel(mainWindow) : nullptr;
  Check(panel != nullptr, "main window and panel found");
  if (panel) {
    CheckControls(panel, items);
    CheckInitialTexts(panel);
    Click(panel, 1007);
    Click(panel, 1006);
    const std::string frameRate = WaitForFrameRate(panel);
    Check(!frameRate.empty(), "frame rate written after Single");
    printf("%s\n", frameRate.c_str());
    Check(IsWindowEnabled(panel) != 0, "panel enabled again after the run");
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  }

  DWORD exitCode = 1;
  if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exitCode);
  } else {
    TerminateProcess(process.hProcess, 3);
    Check(false, "program ended after WM_CLOSE");
  }
  Check(exitCode == 0, "exit code 0", std::to_string(exitCode));
  printf(failures == 0 ? "end-to-end run passed\n" : "end-to-end run failed\n");
  return failures == 0 ? 0 : 1;
}
