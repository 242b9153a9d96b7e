// Drives koravel.exe as a user would: checks the panel against its template, types and clicks, exports
// through the dialog (Ctrl+E), saves the picture (Ctrl+P), benchmarks after a long "Generate", closes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

static int failures = 0;

static void Check(bool ok, const char* what, const std::string& detail = "") {
  if (!ok) {
    ++failures;
    printf("FAILED: %s %s\n", what, detail.c_str());
  }
}

// Polls every 50 ms until done or the time is up; whether it got done.
static bool WaitFor(const std::function<bool()>& done, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50, Sleep(50)) {
    if (done()) return true;
  }
  return done();
}

// Texts through timeouts: the program may be busy generating.
static std::string ControlText(HWND control) {
  char text[256] = "";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                      &ignored);
  return text;
}

static std::string Text(HWND dialog, int id) { return ControlText(GetDlgItem(dialog, id)); }

static void SetText(HWND dialog, int id, const std::string& text) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 5000, &ignored);
}

static void Click(HWND dialog, int id) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 30000, &ignored);
}

static LRESULT CheckState(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0); }

static std::string ClassOf(HWND control) {
  char name[64] = "";
  GetClassNameA(control, name, sizeof name);
  return CharLowerA(name);
}

static RECT PlaceIn(HWND control, HWND dialog) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The panel as its template makes it, created here from the template compiled into the program.
static HWND ReferencePanel(const char* programPath) {
  HMODULE program = LoadLibraryExA(programPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC resource = program ? FindResourceA(program, "ConfigDlg", MAKEINTRESOURCEA(5)) : nullptr;
  if (!resource) return nullptr;
  const void* dialogTemplate = LockResource(LoadResource(program, resource));
  HWND host = CreateWindowExA(0, "static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  return CreateDialogIndirectParamA(nullptr, static_cast<LPCDLGTEMPLATEA>(dialogTemplate), host,
                                    [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
}

// Every control of the program's panel against the reference, in template order; then the fields' first texts.
static void CheckPanel(HWND panel, HWND reference) {
  HWND control = GetWindow(panel, GW_CHILD);
  HWND expected = GetWindow(reference, GW_CHILD);
  int index = 0;
  for (; control && expected; control = GetWindow(control, GW_HWNDNEXT), expected = GetWindow(expected, GW_HWNDNEXT)) {
    const std::string where = "control " + std::to_string(++index) + " (" + ControlText(expected) + ")";
    Check(GetDlgCtrlID(control) == GetDlgCtrlID(expected), "identifier", where);
    Check(ClassOf(control) == ClassOf(expected), "class", where + ": " + ClassOf(control));
    // Checking a radio button makes it the group's tab stop; the rest of the style is the template's.
    const LONG styleBits = ~static_cast<LONG>(WS_TABSTOP);
    Check((GetWindowLongA(control, GWL_STYLE) & styleBits) == (GetWindowLongA(expected, GWL_STYLE) & styleBits),
          "style", where);
    if (ClassOf(control) != "edit") Check(ControlText(control) == ControlText(expected), "text", where);
    const RECT place = PlaceIn(control, panel);
    const RECT expectedPlace = PlaceIn(expected, reference);
    Check(EqualRect(&place, &expectedPlace) != 0, "rectangle", where);
  }
  Check(index == 24 && !control && !expected, "24 controls", std::to_string(index));
  const struct { int id; const char* text; } fields[] = {
      {1020, "8.000000"}, {1022, "0"}, {1024, "6.000000"}, {1025, "4"}, {1029, "0.400000"}, {1026, "5"}};
  for (const auto& field : fields) {
    Check(Text(panel, field.id) == field.text, "initial text", std::to_string(field.id) + ": " + Text(panel, field.id));
  }
}

static HWND WaitForPanel(HWND* mainWindow) {
  HWND panel = nullptr;
  WaitFor([&] {
    *mainWindow = FindWindowA("Koravel", "Koravel");
    if (!*mainWindow || !IsWindowVisible(*mainWindow)) return false;
    panel = FindWindowExA(*mainWindow, nullptr, "#32770", nullptr);
    return panel && GetDlgItem(panel, 1007);
  }, 60000);
  return panel;
}

static HWND WaitForDialog(const char* title, int milliseconds) {
  HWND window = nullptr;
  const bool shown = WaitFor([&] { return (window = FindWindowA("#32770", title)) && IsWindowVisible(window); },
                             milliseconds);
  return shown ? window : nullptr;
}

// ---- Mouse and keyboard input through the system's input queue, as a user gives it ----

static void Send(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Sleep(50);
}

static INPUT MouseInput(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  return input;
}

static void ClickControl(HWND dialog, int id, bool left) {
  RECT r;
  GetWindowRect(GetDlgItem(dialog, id), &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  Send({MouseInput(left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN),
        MouseInput(left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP)});
}

static INPUT KeyInput(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

static void PressKeys(const std::vector<WORD>& keys) {  // held in order, released in reverse order
  std::vector<INPUT> inputs;
  for (WORD key : keys) inputs.push_back(KeyInput(key, false));
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) inputs.push_back(KeyInput(*key, true));
  Send(inputs);
}

// The program has no dialog-navigation step: Tab in Random Seed neither moves on to Freq. Scale nor types
// a character, so "5", Tab, "7" gives "57" there.
static void CheckTabStaysInTheField(HWND panel) {
  const std::string freqScale = Text(panel, 1024);
  ClickControl(panel, 1022, true);
  PressKeys({VK_HOME});
  PressKeys({VK_SHIFT, VK_END});
  PressKeys({'5'});
  PressKeys({VK_TAB});
  PressKeys({'7'});
  WaitFor([&] { return Text(panel, 1022) == "57"; }, 3000);
  Check(Text(panel, 1022) == "57", "Tab stays in Random Seed", Text(panel, 1022));
  Check(Text(panel, 1024) == freqScale, "Freq. Scale unchanged by Tab", Text(panel, 1024));
}

// Buttons act on the left button only: a right click on "Generate" generates nothing (with a refused
// pass count, a generation shows a box) and one on "Create River" ticks nothing.
static void CheckRightClicksDoNothing(HWND panel) {
  const std::string passCount = Text(panel, 1026);
  SetText(panel, 1026, "5000");
  ClickControl(panel, 1007, false);
  Sleep(1000);
  Check(FindWindowA("#32770", "Koravel") == nullptr, "no generation after a right click on Generate");
  ClickControl(panel, 1007, true);
  HWND box = WaitForDialog("Koravel", 5000);
  Check(box != nullptr, "the refusal box after a left click on Generate");
  if (box) PostMessageA(box, WM_CLOSE, 0, 0);
  WaitFor([&] { return !IsWindow(box); }, 5000);
  SetText(panel, 1026, passCount);

  const LRESULT river = CheckState(panel, 1021);
  ClickControl(panel, 1021, false);
  Sleep(500);
  Check(CheckState(panel, 1021) == river, "Create River unticked by a right click");
}

// ---- The menu's commands: the export dialog and the saved picture ----

static std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

static std::string NewFolder(const char* name) {  // under the temporary one
  char temporary[MAX_PATH];
  GetTempPathA(sizeof temporary, temporary);
  const std::string folder = std::string(temporary) + name + "-" + std::to_string(GetTickCount());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

static HANDLE Start(const std::string& program, const std::string& arguments) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::string commandLine = "\"" + program + "\" " + arguments;
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

// The exit code of a process that ends in time; one that does not is ended, and gives STILL_ACTIVE.
static DWORD ExitCodeWithin(HANDLE process, DWORD milliseconds) {
  DWORD exitCode = STILL_ACTIVE;
  if (process == nullptr) return exitCode;
  if (WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0) GetExitCodeProcess(process, &exitCode);
  else TerminateProcess(process, 3);
  CloseHandle(process);
  return exitCode;
}

// Ctrl+E on the terrain on view (seed 4321 with a river): a 257 export with its water mask, colour map and
// mesh, "Export" pressed with Return, writes what koravel-export writes.
static void CheckExportDialog(HWND mainWindow, HWND panel, const std::string& tool) {
  const struct { int id; const char* text; } fields[] = {
      {1020, "8"}, {1022, "4321"}, {1024, "6"}, {1025, "4"}, {1029, "0.4"}, {1026, "5"}};
  for (const auto& field : fields) SetText(panel, field.id, field.text);
  if (CheckState(panel, 1021) != BST_CHECKED) Click(panel, 1021);
  Click(panel, 1007);
  SetForegroundWindow(mainWindow);
  PressKeys({VK_CONTROL, 'E'});
  HWND dialog = WaitForDialog("Export Terrain", 10000);
  Check(dialog != nullptr, "Ctrl+E opens the \"Export Terrain\" dialog");
  if (!dialog) return;
  const std::string folder = NewFolder("koravel-export-dialog");
  SetText(dialog, 1101, "257");
  for (int check : {1121, 1122, 1123}) Click(dialog, check);
  SetText(dialog, 1102, folder + "\\hm.png");
  SetForegroundWindow(dialog);
  ClickControl(dialog, 1102, true);
  PressKeys({VK_RETURN});
  Check(WaitFor([&] { return !IsWindow(dialog); }, 60000), "the dialog closes once the files are written");

  const std::string out = folder + "\\tool\\";
  CreateDirectoryA(out.c_str(), nullptr);
  Check(ExitCodeWithin(Start(tool, "--seed 4321 --river --size 257 --heights " + out + "hm.png --water " + out +
                                       "hm_water.png --colour " + out + "hm_colour.png --mesh " + out + "hm.glb"),
                       120000) == 0,
        "koravel-export ran");
  for (const char* file : {"hm.png", "hm_water.png", "hm_colour.png", "hm.glb"}) {
    const std::string written = FileBytes(folder + "\\" + file);
    Check(!written.empty() && written == FileBytes(out + file), "the dialog's file is koravel-export's", file);
  }
}

// Ctrl+P asks where with the standard save-file dialog and saves the view as a PNG (the unit tests check
// its pixels under Wine too).
static void CheckSavePicture(HWND mainWindow) {
  const std::string path = NewFolder("koravel-picture") + "\\view.png";
  SetForegroundWindow(mainWindow);
  PressKeys({VK_CONTROL, 'P'});
  HWND chooser = WaitForDialog("Save Picture", 10000);
  Check(chooser != nullptr, "Ctrl+P opens the \"Save Picture\" dialog");
  if (!chooser) return;
  SetDlgItemTextA(chooser, 0x47c, path.c_str());  // the file name's box (cmb13)
  Click(chooser, IDOK);
  const bool saved = WaitFor([&] { return FileBytes(path).compare(0, 8, "\x89PNG\r\n\x1a\n") == 0; }, 15000);
  Check(saved, "Ctrl+P saved a PNG", path);
}

// "Single" clicked while "Generate"s still block the program: the rate it reports must be that of its own 72
// steps, not reach back over the freeze to the last tick before it. Held against an ordinary run on the same
// terrain. The freeze is long beside it: many of the slowest generations the limits accept, as many as a click on
// "Generate" (with Wine's round trip, some 4 times a generation here) takes in 12 s.
static void CheckSingleAfterGenerate(HWND panel) {
  // The rate written into the emptied field 1013 within two minutes, or 0.
  auto nextFrameRate = [panel] {
    std::string text;
    WaitFor([&] { return (text = Text(panel, 1013)).rfind("Fps: ", 0) == 0; }, 120000);
    return text.rfind("Fps: ", 0) == 0 ? atof(text.c_str() + 5) : 0.0;
  };
  SetText(panel, 1025, "4094");
  SetText(panel, 1024, "0");
  SetText(panel, 1026, "64");
  DWORD start = GetTickCount();
  Click(panel, 1007);
  const DWORD generateMs = GetTickCount() - start + 1;
  SetText(panel, 1013, "");
  Click(panel, 1006);
  const double ordinary = nextFrameRate();
  Check(WaitFor([panel] { return IsWindowEnabled(panel) != 0; }, 5000), "panel enabled again after the run");
  const DWORD generations = 12000 / generateMs + 1;
  SetText(panel, 1013, "");
  start = GetTickCount();
  // Posted, so that "Single" waits in the queue while the generations run.
  for (DWORD i = 0; i < generations; ++i) PostMessageA(GetDlgItem(panel, 1007), BM_CLICK, 0, 0);
  PostMessageA(GetDlgItem(panel, 1006), BM_CLICK, 0, 0);
  const double late = nextFrameRate();
  printf("Single after %lu Generates of %lu ms: Fps: %f; an ordinary run: Fps: %f; click to rate: %lu ms\n",
         generations, generateMs, late, ordinary, GetTickCount() - start);
  Check(ordinary > 0.0 && late > ordinary / 2, "Single after a long Generate reports the rate of its own run",
        std::to_string(late) + " against " + std::to_string(ordinary));
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: windows_driver PATH-TO-koravel.exe PATH-TO-koravel-export.exe\n");
    return 2;
  }
  HANDLE program = Start(argv[1], "");
  if (!program) {
    printf("FAILED: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  HWND mainWindow = nullptr;
  HWND panel = WaitForPanel(&mainWindow);
  HWND reference = ReferencePanel(argv[1]);
  Check(panel && reference, "the panel and its template");
  if (panel && reference) {
    CheckPanel(panel, reference);
    SetForegroundWindow(mainWindow);
    CheckTabStaysInTheField(panel);
    CheckRightClicksDoNothing(panel);
    CheckExportDialog(mainWindow, panel, argv[2]);
    CheckSavePicture(mainWindow);
    CheckSingleAfterGenerate(panel);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  }
  const DWORD exitCode = ExitCodeWithin(program, 30000);
  Check(exitCode == 0, "exit code 0 after WM_CLOSE",
        exitCode == STILL_ACTIVE ? "(still running: ended)" : std::to_string(exitCode));
  printf(failures == 0 ? "end-to-end run passed\n" : "end-to-end run failed\n");
  return failures == 0 ? 0 : 1;
}
