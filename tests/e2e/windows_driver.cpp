// Drives koravel.exe as a user would: checks the panel against its template, types and clicks, generates,
// exports through the dialog (Ctrl+E) and saves the picture (Ctrl+P), benchmarks, closes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

static int failures = 0;

static void Check(bool ok, const char* what, const std::string& detail = "") {
  if (!ok) {
    ++failures;
    printf("FAILED: %s %s\n", what, detail.c_str());
  }
}

static INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

// The panel as its template makes it, created here from the template compiled into the program.
static HWND ReferencePanel(const char* programPath) {
  HMODULE program = LoadLibraryExA(programPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC resource = program ? FindResourceA(program, "ConfigDlg", MAKEINTRESOURCEA(5)) : nullptr;
  if (!resource) return nullptr;
  const void* dialogTemplate = LockResource(LoadResource(program, resource));
  HWND host = CreateWindowExA(0, "static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  return CreateDialogIndirectParamA(nullptr, static_cast<LPCDLGTEMPLATEA>(dialogTemplate), host, QuietDialogProc, 0);
}

static std::string ControlText(HWND control) {
  char text[256] = "";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                      &ignored);
  return text;
}

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

// Every control of the program's panel against the reference, in template order.
static void CheckControls(HWND panel, HWND reference) {
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
}

static void CheckInitialTexts(HWND panel) {
  const struct { int id; const char* text; } fields[] = {
      {1020, "8.000000"}, {1022, "0"}, {1024, "6.000000"}, {1025, "4"}, {1029, "0.400000"}, {1026, "5"}};
  for (const auto& field : fields) {
    const std::string text = ControlText(GetDlgItem(panel, field.id));
    Check(text == field.text, "initial text", std::to_string(field.id) + ": " + text);
  }
}

static HWND WaitForPanel(HWND* mainWindow) {
  for (int i = 0; i < 600; ++i, Sleep(100)) {
    *mainWindow = FindWindowA("Koravel", "Koravel");
    if (!*mainWindow || !IsWindowVisible(*mainWindow)) continue;
    for (HWND child = GetWindow(*mainWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (GetDlgItem(child, 1007)) return child;
    }
  }
  return nullptr;
}

static void Click(HWND panel, int id) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetDlgItem(panel, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 30000, &ignored);
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

static INPUT KeyInput(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

static void ClickControl(HWND panel, int id, DWORD down, DWORD up) {
  RECT r;
  GetWindowRect(GetDlgItem(panel, id), &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  Send({MouseInput(down), MouseInput(up)});
}

static void LeftClick(HWND panel, int id) { ClickControl(panel, id, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }
static void RightClick(HWND panel, int id) { ClickControl(panel, id, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

static void PressKeys(const std::vector<WORD>& keys) {  // held in order, released in reverse order
  std::vector<INPUT> inputs;
  for (WORD key : keys) inputs.push_back(KeyInput(key, false));
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) inputs.push_back(KeyInput(*key, true));
  Send(inputs);
}

static bool WaitFor(bool (*done)(HWND), HWND panel, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50, Sleep(50)) {
    if (done(panel)) return true;
  }
  return done(panel);
}

// The program has no dialog-navigation step: Tab in Random Seed neither moves on to Freq. Scale nor types
// a character, so "5", Tab, "7" gives "57" there.
static void CheckTabStaysInTheField(HWND panel) {
  const std::string freqScale = ControlText(GetDlgItem(panel, 1024));
  LeftClick(panel, 1022);
  PressKeys({VK_HOME});
  PressKeys({VK_SHIFT, VK_END});
  PressKeys({'5'});
  PressKeys({VK_TAB});
  PressKeys({'7'});
  WaitFor([](HWND p) { return ControlText(GetDlgItem(p, 1022)) == "57"; }, panel, 3000);
  Check(ControlText(GetDlgItem(panel, 1022)) == "57", "Tab stays in Random Seed", ControlText(GetDlgItem(panel, 1022)));
  Check(ControlText(GetDlgItem(panel, 1024)) == freqScale, "Freq. Scale unchanged by Tab",
        ControlText(GetDlgItem(panel, 1024)));
}

static HWND RefusalBox() { return FindWindowA("#32770", "Koravel"); }

// Buttons act on the left button only: a right click on "Generate" generates nothing (with a refused
// pass count, a generation shows a box) and one on "Create River" ticks nothing.
static void CheckRightClicksDoNothing(HWND panel) {
  HWND passes = GetDlgItem(panel, 1026);
  const std::string passCount = ControlText(passes);
  SendMessageA(passes, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("5000"));
  RightClick(panel, 1007);
  Sleep(1000);
  Check(RefusalBox() == nullptr, "no generation after a right click on Generate");
  LeftClick(panel, 1007);
  WaitFor([](HWND) { return RefusalBox() != nullptr; }, panel, 5000);
  HWND box = RefusalBox();
  Check(box != nullptr, "the refusal box after a left click on Generate");
  if (box) PostMessageA(box, WM_CLOSE, 0, 0);
  WaitFor([](HWND) { return RefusalBox() == nullptr; }, panel, 5000);
  SendMessageA(passes, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(passCount.c_str()));

  const LRESULT river = SendMessageA(GetDlgItem(panel, 1021), BM_GETCHECK, 0, 0);
  RightClick(panel, 1021);
  Sleep(500);
  Check(SendMessageA(GetDlgItem(panel, 1021), BM_GETCHECK, 0, 0) == river, "Create River unticked by a right click");
}

// ---- The menu's commands: the export dialog and the saved picture ----

static void SetText(HWND control, const char* text);

static HWND WaitForWindow(const char* title, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50, Sleep(50)) {
    HWND window = FindWindowA("#32770", title);
    if (window && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

static bool WaitForGone(HWND window, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50, Sleep(50)) {
    if (!IsWindow(window)) return true;
  }
  return !IsWindow(window);
}

static std::string FileBytes(const std::string& path) {
  std::string bytes;
  if (FILE* file = fopen(path.c_str(), "rb")) {
    char buffer[65536];
    for (size_t read; (read = fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, read);
    fclose(file);
  }
  return bytes;
}

// A fresh folder under the temporary one.
static std::string NewFolder(const char* name) {
  char temporary[MAX_PATH];
  GetTempPathA(sizeof temporary, temporary);
  const std::string folder = std::string(temporary) + name + "-" + std::to_string(GetTickCount());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

static bool RunTool(const std::string& tool, const std::string& arguments) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::string commandLine = "\"" + tool + "\" " + arguments;
  if (!CreateProcessA(tool.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  DWORD exitCode = 1;
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return exitCode == 0;
}

// Before any "Generate", Ctrl+E says there is nothing to export.
static void CheckExportBeforeAnyTerrain(HWND mainWindow) {
  SetForegroundWindow(mainWindow);
  PressKeys({VK_CONTROL, 'E'});
  HWND box = WaitForWindow("Koravel", 5000);
  Check(box != nullptr, "a box after Ctrl+E before any terrain");
  Check(FindWindowA("#32770", "Export Terrain") == nullptr, "no export dialog before any terrain");
  if (box) PostMessageA(box, WM_CLOSE, 0, 0);
  WaitForGone(box, 5000);
}

// Ctrl+E opens the dialog with its defaults; a 257 export of the terrain on view (seed 4321 with a river)
// with its water mask, colour map and mesh, "Export" pressed with Return, writes what koravel-export writes.
static void CheckExportDialog(HWND mainWindow, HWND panel, const std::string& tool) {
  const struct { int id; const char* text; } fields[] = {
      {1020, "8"}, {1022, "4321"}, {1024, "6"}, {1025, "4"}, {1029, "0.4"}, {1026, "5"}};
  for (const auto& field : fields) SetText(GetDlgItem(panel, field.id), field.text);
  if (SendMessageA(GetDlgItem(panel, 1021), BM_GETCHECK, 0, 0) != BST_CHECKED) Click(panel, 1021);
  Click(panel, 1007);
  SetForegroundWindow(mainWindow);
  PressKeys({VK_CONTROL, 'E'});
  HWND dialog = WaitForWindow("Export Terrain", 10000);
  Check(dialog != nullptr, "Ctrl+E opens the \"Export Terrain\" dialog");
  if (!dialog) return;
  Check(ControlText(GetDlgItem(dialog, 1101)) == "1025", "size 1025 at first", ControlText(GetDlgItem(dialog, 1101)));
  Check(SendMessageA(GetDlgItem(dialog, 1111), BM_GETCHECK, 0, 0) == BST_CHECKED, "PNG 16-bit at first");
  const std::string name = ControlText(GetDlgItem(dialog, 1102));
  Check(name.size() > 12 && name.compare(name.size() - 12, 12, "\\terrain.png") == 0, "terrain.png at first", name);
  Check(ClassOf(GetDlgItem(dialog, 1104)) == "msctls_progress32", "the progress bar", ClassOf(GetDlgItem(dialog, 1104)));

  const std::string folder = NewFolder("koravel-export-dialog");
  SetText(GetDlgItem(dialog, 1101), "257");
  for (int check : {1121, 1122, 1123}) Click(dialog, check);
  SetText(GetDlgItem(dialog, 1102), (folder + "\\hm.png").c_str());
  SetForegroundWindow(dialog);
  LeftClick(dialog, 1102);
  PressKeys({VK_RETURN});
  Check(WaitForGone(dialog, 60000), "the dialog closes once the files are written");

  CreateDirectoryA((folder + "\\tool").c_str(), nullptr);
  const std::string out = folder + "\\tool\\";
  Check(RunTool(tool, "--seed 4321 --river --size 257 --heights " + out + "hm.png --water " + out + "hm_water.png --colour " +
                          out + "hm_colour.png --mesh " + out + "hm.glb"),
        "koravel-export ran");
  for (const char* file : {"hm.png", "hm_water.png", "hm_colour.png", "hm.glb"}) {
    const std::string written = FileBytes(folder + "\\" + file);
    Check(!written.empty() && written == FileBytes(out + file), "the dialog's file is koravel-export's", file);
  }
}

// Ctrl+P asks where with the standard save-file dialog and writes the view's pixels as a PNG of its size.
static void CheckSavePicture(HWND mainWindow) {
  const std::string path = NewFolder("koravel-picture") + "\\view.png";
  SetForegroundWindow(mainWindow);
  PressKeys({VK_CONTROL, 'P'});
  HWND chooser = WaitForWindow("Save Picture", 10000);
  Check(chooser != nullptr, "Ctrl+P opens the \"Save Picture\" dialog");
  if (!chooser) return;
  SetDlgItemTextA(chooser, 0x47c, path.c_str());  // the file name's box (cmb13)
  Click(chooser, IDOK);
  WaitForGone(chooser, 10000);
  std::string png;
  for (int waited = 0; png.empty() && waited < 5000; waited += 50, Sleep(50)) png = FileBytes(path);
  RECT view = {};
  GetClientRect(GetDlgItem(mainWindow, 10), &view);
  auto bigEndian = [&](size_t at) {
    return static_cast<LONG>(static_cast<unsigned char>(png[at]) << 24 | static_cast<unsigned char>(png[at + 1]) << 16 |
                             static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]));
  };
  const bool isPng = png.size() > 24 && png.compare(1, 3, "PNG") == 0;
  Check(isPng, "Ctrl+P saved a PNG", path);
  if (isPng) {
    Check(bigEndian(16) == view.right && bigEndian(20) == view.bottom, "the picture has the view's size",
          std::to_string(bigEndian(16)) + " x " + std::to_string(bigEndian(20)));
  }
}

static std::string WaitForFrameRate(HWND panel) {
  for (int i = 0; i < 1200; ++i, Sleep(50)) {
    const std::string text = ControlText(GetDlgItem(panel, 1013));
    if (text.rfind("Fps: ", 0) == 0) return text;
  }
  return "";
}

static void SetText(HWND control, const char* text) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
}

// The frame rate written into the emptied field 1013 within two minutes, or 0.
static double NextFrameRate(HWND panel) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 120000; Sleep(50)) {
    const std::string text = ControlText(GetDlgItem(panel, 1013));
    if (text.rfind("Fps: ", 0) == 0) return atof(text.c_str() + 5);
  }
  return 0.0;
}

// "Single" clicked while a long "Generate" still blocks the program: the rate it reports must be
// that of its own 72 steps, not reach back over the freeze to the last tick before it. Held
// against an ordinary run on the same terrain just after; if generation ever becomes quick,
// there is little freeze to count and the case still holds.
static void CheckSingleAfterGenerate(HWND panel) {
  // The slowest generation the limits accept: 64 passes of 4096 x 4096 lattice values.
  SetText(GetDlgItem(panel, 1025), "4094");
  SetText(GetDlgItem(panel, 1024), "0");
  SetText(GetDlgItem(panel, 1026), "64");
  SetText(GetDlgItem(panel, 1013), "");
  const DWORD start = GetTickCount();
  // Posted, so that "Single" waits in the queue while "Generate" runs.
  PostMessageA(GetDlgItem(panel, 1007), BM_CLICK, 0, 0);
  PostMessageA(GetDlgItem(panel, 1006), BM_CLICK, 0, 0);
  const double late = NextFrameRate(panel);
  const DWORD elapsed = GetTickCount() - start;
  SetText(GetDlgItem(panel, 1013), "");
  Click(panel, 1006);
  const double ordinary = NextFrameRate(panel);
  printf("Single after Generate: Fps: %f; an ordinary run: Fps: %f; click to rate: %lu ms\n", late, ordinary, elapsed);
  Check(ordinary > 0.0 && late > ordinary / 2, "Single after a long Generate reports the rate of its own run",
        std::to_string(late) + " against " + std::to_string(ordinary));
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: windows_driver PATH-TO-koravel.exe PATH-TO-koravel-export.exe\n");
    return 2;
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::string commandLine = std::string("\"") + argv[1] + "\"";
  if (!CreateProcessA(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    printf("FAILED: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }

  HWND mainWindow = nullptr;
  HWND panel = WaitForPanel(&mainWindow);
  HWND reference = ReferencePanel(argv[1]);
  Check(panel && reference, "the panel and its template");
  if (panel && reference) {
    CheckControls(panel, reference);
    CheckInitialTexts(panel);
    CheckExportBeforeAnyTerrain(mainWindow);
    SetForegroundWindow(mainWindow);
    CheckTabStaysInTheField(panel);
    CheckRightClicksDoNothing(panel);
    CheckExportDialog(mainWindow, panel, argv[2]);
    CheckSavePicture(mainWindow);
    Click(panel, 1007);
    Click(panel, 1006);
    const std::string frameRate = WaitForFrameRate(panel);
    Check(!frameRate.empty(), "frame rate written after Single");
    printf("%s\n", frameRate.c_str());
    Check(IsWindowEnabled(panel) != 0, "panel enabled again after the run");
    CheckSingleAfterGenerate(panel);
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
