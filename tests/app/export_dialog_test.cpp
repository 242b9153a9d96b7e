// The menu, the "Export Terrain" dialog and its worker, and "Save Picture...", through their messages.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <spng.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/commands.h"
#include "app/export_dialog.h"
#include "app/file_chooser.h"
#include "app/main_loop.h"
#include "app/start_up.h"
#include "panel/config_panel.h"
#include "platform/utf8/utf8_text.h"
#include "state/app_state.h"
#include "state/message_box.h"
#include "tests/app/shell_support.h"

namespace fs = std::filesystem;

namespace {

// A fresh, empty folder of the test's own, removed with what is in it at the end.
struct Folder {
  Folder() {
    static int count = 0;
    const std::string name = "koravel-dialog-" + std::to_string(timeGetTime()) + "-" + std::to_string(++count);
    path = fs::temp_directory_path() / name;
    fs::create_directories(path);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return (path / fs::u8path(name)).u8string(); }
  std::set<std::string> Names() const {  // in UTF-8
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.insert(entry.path().filename().u8string());
    return names;
  }
  fs::path path;
};

std::string Bytes(const std::string& path) {
  std::ifstream file(fs::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

LRESULT Command(int command) { return SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(command, 0), 0); }

// Runs the program's own loop until `done` or the time is up.
bool Pump(const std::function<bool()>& done, int timeoutMs) {
  const DWORD start = timeGetTime();
  MSG message;
  while (!done()) {
    if (static_cast<int>(timeGetTime() - start) > timeoutMs) return false;
    DrainMessages(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

INT_PTR DialogCommand(int control) {
  return SendMessageA(exportDialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(exportDialog, control)));
}

std::string DialogText(int control) {
  char text[1024] = "";
  GetDlgItemTextA(exportDialog, control, text, sizeof text);
  return text;
}

bool Checked(int control) { return IsDlgButtonChecked(exportDialog, control) == BST_CHECKED; }
bool Enabled(int control) { return IsWindowEnabled(GetDlgItem(exportDialog, control)) != FALSE; }

LRESULT Bar(UINT message, WPARAM wParam = 0) {
  return SendMessageA(GetDlgItem(exportDialog, kControlExportProgress), message, wParam, 0);
}

// A terrain on view, made through the panel: seed 1234, 4 passes, with a river, flat when asked.
void GenerateTerrainOnView(bool flat) {
  ResetProgram();
  TypeInto(kControlSeed, "1234");
  TypeInto(kControlPassCount, "4");
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  if (flat) PanelCommand(kControlCreateAs2d, BN_CLICKED);
  PanelCommand(kControlGenerate, BN_CLICKED);
  ASSERT_TRUE(viewedTerrain.generated);
}

// The dialog open on the terrain on view, with these choices.
void OpenDialog(const char* size, int format, bool water, bool colour, bool mesh, const std::string& name) {
  Command(kCommandExport);
  ASSERT_NE(exportDialog, nullptr);
  SetDlgItemTextA(exportDialog, kControlExportSize, size);
  CheckRadioButton(exportDialog, kControlHeightsPng, kControlHeightsFloat, format);
  CheckDlgButton(exportDialog, kControlWaterMask, water ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(exportDialog, kControlColourMap, colour ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(exportDialog, kControlMesh, mesh ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextA(exportDialog, kControlExportFileName, name.c_str());
}

void CloseDialog() {
  if (exportDialog != nullptr) DestroyWindow(exportDialog);
  ASSERT_EQ(exportDialog, nullptr);
}

// Stands in for the save-file dialog: records what it was asked and answers `answer`, or cancels without one.
OPENFILENAMEA asked;
std::string offered, answer;
BOOL WINAPI AnswerChooser(LPOPENFILENAMEA dialog) {
  asked = *dialog;
  offered = dialog->lpstrFile;
  if (answer.empty()) return FALSE;
  snprintf(dialog->lpstrFile, dialog->nMaxFile, "%s", answer.c_str());
  return TRUE;
}

// The class's menu and accelerators, the Help boxes and "Export..." before any terrain, all owned by the main
// window; "Exit" leaves WM_CLOSE for the loop, as the close button does.
TEST(Menu, HelpBoxesExitAndExportBeforeAnyTerrain) {
  ResetProgram();
  EXPECT_NE(GetMenu(mainWindow), nullptr);
  EXPECT_NE(accelerators, nullptr);
  viewedTerrain.generated = false;
  for (int command : {kCommandControls, kCommandAbout, kCommandExport}) EXPECT_EQ(Command(command), 0);
  EXPECT_EQ(exportDialog, nullptr);
  ASSERT_EQ(recordedBoxes.size(), 3u);
  EXPECT_EQ(recordedBoxes[0].rfind("Koravel Controls: Over the view:", 0), 0u) << recordedBoxes[0];
  EXPECT_EQ(recordedBoxes[1].rfind("About Koravel: Koravel 1.", 0), 0u) << recordedBoxes[1];
  EXPECT_EQ(recordedBoxes[2], "Koravel: There is no terrain to export yet: press \"Generate\" first. [modal]");
  for (const std::string& box : recordedBoxes) EXPECT_NE(box.find("[modal]"), std::string::npos) << box;
  Command(kCommandExit);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, mainWindow, WM_CLOSE, WM_CLOSE, PM_REMOVE));
  EXPECT_TRUE(IsWindow(mainWindow));
}

// First opened: 1025 a side, a PNG heightmap named terrain.png in the current folder, nothing more, the bar
// empty; "Export..." again brings the same dialog forward. A format chosen gives the name its extension, and
// so does "Browse..." to the name chosen there. "Cancel" closes it; the next one shows what the last one held.
TEST(ExportDialog, OpensWithTheDefaultsKeepsTheChoicesAndGivesTheNameTheFormatsExtension) {
  GenerateTerrainOnView(false);
  Command(kCommandExport);
  HWND dialog = exportDialog;
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(DialogText(kControlExportSize), "1025");
  EXPECT_TRUE(Checked(kControlHeightsPng) && !Checked(kControlHeightsR16) && !Checked(kControlHeightsFloat));
  EXPECT_TRUE(!Checked(kControlWaterMask) && !Checked(kControlColourMap) && !Checked(kControlMesh));
  EXPECT_EQ(fs::path(DialogText(kControlExportFileName)), fs::current_path() / "terrain.png");
  EXPECT_EQ(Bar(PBM_GETPOS), 0);
  EXPECT_EQ(Bar(PBM_GETRANGE, FALSE), kProgressSteps);
  Command(kCommandExport);
  EXPECT_EQ(exportDialog, dialog);

  const struct { int radio; const char *typed, *shown; } formats[] = {
      {kControlHeightsR16, "/some/where/hm.png", "/some/where/hm.r16"},
      {kControlHeightsFloat, nullptr, "/some/where/hm.f32"},
      {kControlHeightsPng, nullptr, "/some/where/hm.png"},
      {kControlHeightsFloat, "/some/where/hm.raw", "/some/where/hm.raw"},  // .raw and .bin are float ones too
      {kControlHeightsFloat, "/some/where/hm.tif", "/some/where/hm.f32"},  // an extension of no format is not
      {kControlHeightsR16, nullptr, "/some/where/hm.r16"}};
  for (const auto& format : formats) {
    if (format.typed) SetDlgItemTextA(dialog, kControlExportFileName, format.typed);
    DialogCommand(format.radio);
    EXPECT_EQ(DialogText(kControlExportFileName), format.shown);
  }
  chooseSaveFile = AnswerChooser;
  answer = "/chosen/name.png";
  DialogCommand(kControlExportBrowse);
  chooseSaveFile = GetSaveFileNameUtf8;
  EXPECT_EQ(offered, "/some/where/hm.r16");
  EXPECT_EQ(asked.hwndOwner, dialog);
  EXPECT_STREQ(asked.lpstrFilter, "RAW 16-bit heightmaps (*.r16)");
  EXPECT_NE(asked.Flags & OFN_OVERWRITEPROMPT, 0u);
  EXPECT_EQ(DialogText(kControlExportFileName), "/chosen/name.r16");

  SetDlgItemTextA(dialog, kControlExportSize, "257");
  DialogCommand(IDCANCEL);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(exportDialog, nullptr);
  EXPECT_FALSE(ExportRunning());
  Command(kCommandExport);
  EXPECT_EQ(DialogText(kControlExportSize), "257");
  EXPECT_TRUE(Checked(kControlHeightsR16));
  EXPECT_EQ(DialogText(kControlExportFileName), "/chosen/name.r16");
  CloseDialog();
  EXPECT_TRUE(recordedBoxes.empty());
}

// The labels the dialog shows beside its fields, without their colons.
std::set<std::string> DialogLabels() {
  std::set<std::string> labels;
  for (HWND child = GetWindow(exportDialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char text[256] = "";
    GetWindowTextA(child, text, sizeof text);
    std::string label = text;
    if (!label.empty() && label.back() == ':') label.pop_back();
    if (!label.empty()) labels.insert(label);
  }
  return labels;
}

// What the fields cannot take gets a box over the dialog naming the field by the label it shows; nothing
// starts, nothing is written.
TEST(ExportDialog, RefusesSizesAndNamesWithABoxNamingTheField) {
  GenerateTerrainOnView(false);
  Folder folder;
  fs::create_directories(folder.path / "folder.png");
  const char* const size = "Size (samples a side)";
  const char* const name = "Heightmap file name";
  const struct { const char* size; int format; bool mesh; std::string name; const char* field; } refusals[] = {
      {"", kControlHeightsPng, false, folder / "hm.png", size},
      {"0", kControlHeightsPng, false, folder / "hm.png", size},
      {"12a", kControlHeightsPng, false, folder / "hm.png", size},
      {"16385", kControlHeightsPng, false, folder / "hm.png", size},
      {"4294967361", kControlHeightsPng, false, folder / "hm.png", size},  // 65 if it wrapped at 32 bits
      {"1", kControlHeightsPng, true, folder / "hm.png", size},       // a mesh needs 2 x 2
      {"9000", kControlHeightsPng, true, folder / "hm.png", size},    // beyond a .glb's 4 GiB
      {"65", kControlHeightsPng, false, "", name},
      {"65", kControlHeightsPng, false, "   ", name},
      {"65", kControlHeightsPng, false, folder / "hm.r16", name},
      {"65", kControlHeightsR16, false, folder / "hm.png", name},
      {"65", kControlHeightsFloat, false, folder / "hm.PNG", name},
      {"65", kControlHeightsFloat, false, folder / "hm.tif", name},  // raw floats go under .f32, .raw or .bin
      {"65", kControlHeightsFloat, true, folder / "hm.glb", name},  // the mesh's own name
      {"65", kControlHeightsPng, false, folder / "missing/hm.png", name},
      {"65", kControlHeightsPng, false, folder / "folder.png", name},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(std::string(refusal.size) + " " + refusal.name);
    recordedBoxes.clear();
    OpenDialog(refusal.size, refusal.format, false, false, refusal.mesh, refusal.name);
    EXPECT_EQ(DialogLabels().count(refusal.field), 1u) << "the dialog shows no label \"" << refusal.field << "\"";
    DialogCommand(IDOK);
    EXPECT_FALSE(ExportRunning());
    ASSERT_EQ(recordedBoxes.size(), 1u);
    EXPECT_EQ(recordedBoxes[0].rfind("Koravel: \"" + std::string(refusal.field) + "\"", 0), 0u) << recordedBoxes[0];
    EXPECT_NE(recordedBoxes[0].find("[error] [over the dialog]"), std::string::npos) << recordedBoxes[0];
    EXPECT_TRUE(Enabled(IDOK));
  }
  CloseDialog();
  EXPECT_EQ(folder.Names(), std::set<std::string>{"folder.png"});
}

// koravel-export for the terrain on view, through the shell (sh or cmd.exe: the paths have no spaces).
bool RunExportTool(const std::string& arguments) {
  const TerrainSettings& s = viewedTerrain.settings;
  char options[256];
  snprintf(options, sizeof options,
           "--seed %d --height %.9g --init-freq %.9g --freq-scale %.9g --pass-height-scale %.9g --passes %d%s ",
           s.seed, static_cast<double>(s.terrainHeight), static_cast<double>(s.initFreq),
           static_cast<double>(s.freqScale), static_cast<double>(s.passHeightScale), s.passCount,
           s.river == 1 ? " --river" : "");
  return std::system((KORAVEL_EXPORT_TOOL " " + std::string(options) + arguments).c_str()) == 0;
}

// "Export" writes the heightmap and the ticked files named after it, byte for byte what koravel-export writes
// for the terrain on view with the same options, then closes; while it runs only "Cancel" can be used.
TEST(ExportDialog, WritesWhatKoravelExportWritesWithTheExtraFilesNamedAfterTheHeightmap) {
  const struct { bool flat; int format; const char* heights; bool extras; } exports[] = {
      {true, kControlHeightsPng, "hm.png", true},
      {false, kControlHeightsR16, "hm.r16", false},
      {false, kControlHeightsFloat, "hm.f32", false}};
  for (const auto& e : exports) {
    SCOPED_TRACE(e.heights);
    GenerateTerrainOnView(e.flat);
    Folder folder;
    OpenDialog("65", e.format, e.extras, e.extras, e.extras, folder / e.heights);
    DialogCommand(IDOK);
    EXPECT_TRUE(!Enabled(IDOK) && !Enabled(kControlExportSize) && Enabled(IDCANCEL));
    ASSERT_TRUE(Pump([] { return exportDialog == nullptr; }, 60000)) << "the dialog closes when done";
    EXPECT_TRUE(recordedBoxes.empty()) << recordedBoxes.front();
    std::set<std::string> expected = {e.heights};
    if (e.extras) expected.insert({"hm_water.png", "hm_colour.png", "hm.glb"});
    EXPECT_EQ(folder.Names(), expected);

    const fs::path tool = folder.path / "tool";
    fs::create_directories(tool);
    std::string arguments = "--size 65 --heights " + (tool / e.heights).string();
    if (e.extras) {
      arguments += " --water " + (tool / "hm_water.png").string() + " --colour " + (tool / "hm_colour.png").string() +
                   " --mesh " + (tool / "hm.glb").string() + " --flat";
    }
    ASSERT_TRUE(RunExportTool(arguments + " >" + (tool / "range.txt").string()));
    for (const std::string& name : expected) {
      const std::string written = Bytes(folder / name);
      EXPECT_TRUE(!written.empty() && written == Bytes((tool / name).string())) << name;
    }
  }
}

// "Cancel" while it runs stops it and leaves no file, not even a temporary one; the dialog stays for another
// try. A file that cannot be written gets a box naming it and the reason, and nothing is left.
TEST(ExportDialog, CancelledAndFailedExportsLeaveNoFileBehind) {
  GenerateTerrainOnView(false);
  Folder folder;
  OpenDialog("8192", kControlHeightsPng, true, true, false, folder / "hm.png");
  DialogCommand(IDOK);
  ASSERT_TRUE(ExportRunning());
  Pump([] { return false; }, 300);
  DialogCommand(IDCANCEL);
  ASSERT_TRUE(Pump([] { return !ExportRunning(); }, 60000));
  ASSERT_NE(exportDialog, nullptr) << "a cancelled export leaves the dialog open";
  EXPECT_TRUE(Enabled(IDOK));
  EXPECT_EQ(Bar(PBM_GETPOS), 0);
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(recordedBoxes.empty()) << recordedBoxes.front();
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * kProgressIntervalMs));
  MSG timer;
  EXPECT_FALSE(PeekMessageA(&timer, exportDialog, WM_TIMER, WM_TIMER, PM_REMOVE)) << "the bar's timer goes on";

  // The mesh's name is taken by a folder: its file cannot be written, and the others go too.
  fs::create_directories(folder.path / "hm.glb");
  CheckDlgButton(exportDialog, kControlMesh, BST_CHECKED);
  SetDlgItemTextA(exportDialog, kControlExportSize, "65");
  DialogCommand(IDOK);
  ASSERT_TRUE(Pump([] { return !ExportRunning(); }, 60000));
  ASSERT_EQ(recordedBoxes.size(), 1u);
  const std::string& box = recordedBoxes[0];
  EXPECT_EQ(box.rfind("Koravel: The terrain could not be exported: ", 0), 0u) << box;
  EXPECT_NE(box.find(folder / "hm.glb"), std::string::npos) << box;
  EXPECT_NE(box.find("[error] [over the dialog]"), std::string::npos) << box;
  EXPECT_EQ(folder.Names(), std::set<std::string>{"hm.glb"});
  EXPECT_TRUE(fs::is_directory(folder.path / "hm.glb"));
  CloseDialog();
}

// Names outside ASCII go through the field, the chooser and the files as typed; a read-only heightmap is
// replaced only when the box that asks is answered "Yes", and stays read-only.
TEST(ExportDialog, WritesNamesOutsideAsciiAndAsksBeforeReplacingAReadOnlyFile) {
  GenerateTerrainOnView(false);
  Folder folder;
  OpenDialog("65", kControlHeightsPng, true, false, false, "");
  chooseSaveFile = AnswerChooser;
  answer = folder / "日本.png";
  DialogCommand(kControlExportBrowse);
  chooseSaveFile = GetSaveFileNameUtf8;
  EXPECT_EQ(GetDlgItemTextUtf8(exportDialog, kControlExportFileName), folder / "日本.png");
  DialogCommand(IDOK);
  ASSERT_TRUE(Pump([] { return exportDialog == nullptr; }, 60000));
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"日本.png", "日本_water.png"}));

  const std::string readOnly = folder / "é Ω.png";
  std::ofstream(fs::u8path(readOnly)) << "old";
  fs::permissions(fs::u8path(readOnly), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  for (int said : {IDNO, IDYES}) {
    SCOPED_TRACE(said == IDYES ? "yes" : "no");
    recordedBoxes.clear();
    questionAnswer = said;
    OpenDialog("65", kControlHeightsPng, false, false, false, "");
    SetDlgItemTextUtf8(exportDialog, kControlExportFileName, readOnly);
    DialogCommand(IDOK);
    ASSERT_EQ(recordedBoxes.size(), 1u);
    EXPECT_EQ(recordedBoxes[0], "Koravel: " + readOnly + " is read-only.\nReplace it? [over the dialog] [yes/no]");
    Pump([] { return !ExportRunning(); }, 60000);
    CloseDialog();
    EXPECT_EQ(Bytes(readOnly) == "old", said == IDNO);
    EXPECT_EQ(fs::status(fs::u8path(readOnly)).permissions() & fs::perms::owner_write, fs::perms::none);
  }
  questionAnswer = IDNO;
  fs::permissions(fs::u8path(readOnly), fs::perms::owner_write, fs::perm_options::add);
}

// The PNG's pixels, RGB, top row first.
struct Png {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t Pixel(uint32_t x, uint32_t y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
  }
};

Png ReadPng(const std::string& path) {
  Png png;
  const std::string bytes = Bytes(path);
  spng_ctx* context = spng_ctx_new(0);
  spng_set_png_buffer(context, bytes.data(), bytes.size());
  spng_ihdr header;
  size_t size = 0;
  if (spng_get_ihdr(context, &header) == 0 && spng_decoded_image_size(context, SPNG_FMT_RGB8, &size) == 0) {
    png.width = header.width;
    png.height = header.height;
    png.rgb.resize(size);
    if (spng_decode_image(context, png.rgb.data(), size, SPNG_FMT_RGB8, 0) != 0) png.rgb.clear();
  }
  spng_ctx_free(context);
  return png;
}

// "Save Picture..." asks where, draws the frame and writes the view's pixels, its top row first; a folder that
// is not there gets a box naming the file, and a chooser closed without a name does nothing.
TEST(SavePicture, WritesTheViewAsShownOrSaysWhyNot) {
  ResetProgram();
  Folder folder;
  chooseSaveFile = AnswerChooser;
  RECT client;  // a view of the window's own size (a test before may have sent it another)
  GetClientRect(mainWindow, &client);
  SendMessageA(mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  SwapBuffers(viewDC);  // as in the program, a frame presented since: Mesa takes a new size at a swap
  answer = folder / "view.png";
  framesRendered = 0;
  Command(kCommandSavePicture);
  EXPECT_EQ(asked.hwndOwner, mainWindow);
  EXPECT_EQ(framesRendered, 1);
  const Png png = ReadPng(answer);
  RECT shown;  // the view's client area, inside its border
  GetClientRect(viewWindow, &shown);
  ASSERT_EQ(png.width, static_cast<uint32_t>(shown.right));
  ASSERT_EQ(png.height, static_cast<uint32_t>(shown.bottom));
  ASSERT_FALSE(png.rgb.empty());
  // The viewport's lower left fills the view; its top-left quarter is red.
  const uint32_t redColumns = static_cast<uint32_t>(layout.viewWidth / 2);
  const uint32_t redRows = png.height - static_cast<uint32_t>(layout.viewHeight / 2);
  EXPECT_EQ(png.Pixel(0, 0), 0xFF0000u) << "the first row is the view's top";
  EXPECT_EQ(png.Pixel(redColumns - 1, redRows - 1), 0xFF0000u);
  EXPECT_EQ(png.Pixel(redColumns, 0), 0x0000FFu);
  EXPECT_EQ(png.Pixel(0, redRows), 0x0000FFu);
  EXPECT_EQ(png.Pixel(png.width - 1, png.height - 1), 0x0000FFu);
  EXPECT_TRUE(recordedBoxes.empty());

  answer = folder / "missing/view.png";
  Command(kCommandSavePicture);
  ASSERT_EQ(recordedBoxes.size(), 1u);
  EXPECT_EQ(recordedBoxes[0].rfind("Koravel: The picture could not be saved: ", 0), 0u) << recordedBoxes[0];
  EXPECT_NE(recordedBoxes[0].find(answer), std::string::npos) << recordedBoxes[0];
  Command(kCommandSavePicture);
  EXPECT_EQ(offered, answer) << "the last name is offered again";

  answer.clear();
  recordedBoxes.clear();
  Command(kCommandSavePicture);
  EXPECT_TRUE(recordedBoxes.empty());
  EXPECT_EQ(folder.Names(), std::set<std::string>{"view.png"});
  chooseSaveFile = GetSaveFileNameUtf8;
}

// While an 8192 x 8192 export runs on its worker, the window answers: mouse drags posted to it every 20 ms turn
// and draw the view, and the bar moves, driven by its timer. Prints the figures.
TEST(ExportWhileAnswering, TheWindowAnswersAndTheBarMovesWhileAnExportRuns) {
  ResetProgram();
  PanelCommand(kControlGenerate, BN_CLICKED);  // the default settings
  Folder folder;
  OpenDialog("8192", kControlHeightsPng, false, false, false, folder / "big.png");
  static DWORD drawnAt;
  afterFrame = [] { drawnAt = timeGetTime(); };
  std::set<LRESULT> barPositions;
  int answered = 0;
  DWORD worstMs = 0;
  const DWORD start = timeGetTime();
  DialogCommand(IDOK);
  for (int x = 0; ExportRunning(); x = (x + 1) % 200) {
    const DWORD posted = timeGetTime();
    drawnAt = 0;
    PostMessageA(mainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300 + x, 200));
    Pump([] { return drawnAt != 0 || !ExportRunning(); }, 10000);
    // A drag answered only after the export ended is not counted: taking the dialog down may wait on the
    // display (Wine without a window manager waits up to 2 s for a hidden window).
    if (drawnAt != 0 && ExportRunning()) {
      ++answered;
      worstMs = std::max<DWORD>(worstMs, drawnAt - posted);
    }
    if (exportDialog != nullptr) barPositions.insert(Bar(PBM_GETPOS));
    Pump([] { return !ExportRunning(); }, 20);
    ASSERT_LT(timeGetTime() - start, 120000u);
  }
  Pump([] { return exportDialog == nullptr; }, 5000);
  afterFrame = nullptr;
  const DWORD exportMs = LastExportMs();
  printf("8192 x 8192 PNG export from the dialog: %lu ms; %d drags answered meanwhile, worst round trip %lu ms; "
         "the bar took %zu positions\n",
         static_cast<unsigned long>(exportMs), answered, static_cast<unsigned long>(worstMs), barPositions.size());
  EXPECT_TRUE(recordedBoxes.empty()) << recordedBoxes.front();
  EXPECT_EQ(folder.Names(), std::set<std::string>{"big.png"});
  EXPECT_GT(answered, 10);
  EXPECT_LT(worstMs * 4, exportMs) << "a drag waited for a good part of the export";
  EXPECT_GE(barPositions.size(), 3u) << "the bar moved";
}

// Closing the main window while an export runs stops the worker and waits for it before the program ends: no
// file is left, and the exit code is 0. The loop's wait stands in for the user: "Generate", "Export...", a 4097
// export, then the close, each once the last has taken, through the loop (under Wine a shown dialog is slow to
// go, time in which a worker not stopped first finishes its file).
TEST(Run, ClosingTheWindowDuringAnExportStopsTheWorkerAndEndsAtOnce) {
  showMessageBox = RecordMessageBox;
  static Folder folder;
  static int step = 0;
  static DWORD closedAt = 0;
  waitForMessages = [](DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD mask) -> DWORD {
    if (step == 0) {
      PostMessageA(panelWindow, WM_COMMAND, MAKEWPARAM(kControlGenerate, BN_CLICKED), 0);
      step = 1;
    } else if (step == 1 && viewedTerrain.generated) {
      PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kCommandExport, 0), 0);
      step = 2;
    } else if (step == 2 && exportDialog != nullptr) {
      SetDlgItemTextA(exportDialog, kControlExportSize, "4097");
      SetDlgItemTextA(exportDialog, kControlExportFileName, (folder / "big.png").c_str());
      PostMessageA(exportDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      step = 3;
    } else if (step == 3 && ExportRunning()) {
      PostMessageA(mainWindow, WM_CLOSE, 0, 0);
      closedAt = timeGetTime();
      step = 4;
    }
    return MsgWaitForMultipleObjects(count, handles, waitAll, milliseconds < 200 ? milliseconds : 200, mask);
  };
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 0);
  printf("closed during a 4097 export: the program ended %lu ms after WM_CLOSE\n",
         static_cast<unsigned long>(timeGetTime() - closedAt));
  EXPECT_EQ(step, 4);
  EXPECT_FALSE(ExportRunning());
  EXPECT_EQ(exportDialog, nullptr);
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(recordedBoxes.empty()) << recordedBoxes.front();
}

}  // namespace
