// Reading dialog templates: the panel's own template, and malformed text refused with the line at fault.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dialog_template.h"

namespace {

std::string ReadFile(const char* path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(DialogTemplate, ReadsThePanelTemplate) {
  std::string script = ReadFile(KORAVEL_PANEL_TEMPLATE);
  ASSERT_FALSE(script.empty());
  DialogTemplate dialog;
  std::string error;
  ASSERT_TRUE(ParseDialogTemplate(script, "ConfigDlg", &dialog, &error)) << error;
  EXPECT_EQ(dialog.width, 95);
  EXPECT_EQ(dialog.height, 363);
  EXPECT_EQ(dialog.style, static_cast<DWORD>(WS_CHILD | DS_SETFONT | DS_MODALFRAME));
  EXPECT_EQ(dialog.exStyle, static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE));
  EXPECT_EQ(dialog.fontPointSize, 8);
  EXPECT_EQ(dialog.fontFace, "MS Sans Serif");
  ASSERT_EQ(dialog.items.size(), 24u);

  const DialogItemTemplate& group = dialog.items[0];
  EXPECT_EQ(group.text, "Benchmarks");
  EXPECT_EQ(group.id, -1);
  EXPECT_EQ(group.className, "button");
  EXPECT_EQ(group.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | BS_GROUPBOX));
  EXPECT_EQ(group.x, 8);
  EXPECT_EQ(group.y, 274);
  EXPECT_EQ(group.width, 80);
  EXPECT_EQ(group.height, 82);

  const DialogItemTemplate& seed = dialog.items[11];
  EXPECT_EQ(seed.id, 1022);
  EXPECT_EQ(seed.className, "edit");
  EXPECT_EQ(seed.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL));

  const DialogItemTemplate& wire = dialog.items[20];
  EXPECT_EQ(wire.text, "Wire");
  EXPECT_EQ(wire.id, 1028);
  EXPECT_EQ(wire.style & 0xF, static_cast<DWORD>(BS_AUTORADIOBUTTON));
}

TEST(DialogTemplate, FindsDialogsByNameInAnyCaseAndReadsRcForms) {
  std::string script =
      "/* two dialogs */\n"
      "First DIALOG 1, 2, 30, 40\n"
      "{\n"
      "  CONTROL \"a\"\"b\", 7, BUTTON, BS_AUTOCHECKBOX | NOT WS_VISIBLE, 1, 2, 3, 4, WS_EX_CLIENTEDGE\n"
      "}\n"
      "Second DIALOGEX 0, 0, 10, 10\n"
      "CAPTION \"Hello\"\n"
      "BEGIN\n"
      "  CONTROL \"\", 0xFFFF, \"static\", (SS_LEFT), 0, 0, 5, 5\n"
      "END\n";
  DialogTemplate dialog;
  std::string error;
  ASSERT_TRUE(ParseDialogTemplate(script, "first", &dialog, &error)) << error;
  ASSERT_EQ(dialog.items.size(), 1u);
  EXPECT_EQ(dialog.items[0].text, "a\"b");
  EXPECT_EQ(dialog.items[0].className, "BUTTON");
  EXPECT_EQ(dialog.items[0].style, static_cast<DWORD>(WS_CHILD | BS_AUTOCHECKBOX));  // NOT clears the default
  EXPECT_EQ(dialog.items[0].exStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));

  ASSERT_TRUE(ParseDialogTemplate(script, "Second", &dialog, &error)) << error;
  EXPECT_EQ(dialog.caption, "Hello");
  EXPECT_EQ(dialog.items[0].id, -1);
}

TEST(DialogTemplate, RefusesMalformedTextNamingTheLine) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"D DIALOGEX 0, 0, 10, 10\nBEGIN\n CONTROL \"abc, 1, \"button\", 0, 0, 0, 1, 1\nEND\n",
       "line 3: unterminated string"},
      {"D DIALOGEX 0, 0, 10, 10\nBEGIN\n CONTROL \"\", 1, \"button\", WS_SHINY, 0, 0, 1, 1\nEND\n",
       "line 3: unknown name 'WS_SHINY'"},
      {"D DIALOGEX 0, 0, 10, 10\nBEGIN\n CONTROL \"\", 1 \"button\", 0, 0, 0, 1, 1\nEND\n",
       "line 3: expected ','"},
      {"D DIALOGEX 0, 0, 10, 10\nBEGIN\n CONTROL \"\", 1, \"button\", 0, 0, 0, -1, 1\nEND\n",
       "line 3: width -1 is out of range"},
      {"D DIALOGEX 0, 0, 10, 10\nBEGIN\n CONTROL \"\", 1, \"button\", 0, 0, 0, 1, 1\n", "line 4: expected CONTROL or END"},
      {"D DIALOGEX 0, 0, 10, 10\nMENU M\nBEGIN\nEND\n", "line 2: unsupported dialog statement"},
      {"D DIALOGEX 0, 0, 10, 10\nBEGIN\n LTEXT \"x\", 1, 0, 0, 1, 1\nEND\n", "line 3: expected CONTROL or END"},
      {"D DIALOGEX 0, 0, 99999999999, 10\n", "line 1: number out of range"},
      {"D DIALOGEX 0, 0, 10\n", "line 2: expected ','"},
      {"D DIALOGEX 0, 0, 10, 10 /* never closed\n", "line 1: unterminated comment"},
      {"D DIALOGEX 0, 0, 10, 10 @\n", "line 1: unexpected character '@'"},
      {"Other DIALOGEX 0, 0, 10, 10\nBEGIN\nEND\n", "no dialog named \"D\""},
  };
  for (const Case& c : cases) {
    DialogTemplate dialog;
    std::string error;
    EXPECT_FALSE(ParseDialogTemplate(c.script, "D", &dialog, &error)) << c.script;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error << "\nfor: " << c.script;
  }
}

TEST(DialogTemplate, DeepNestingIsRefusedNotRecursedInto) {
  std::string script = "D DIALOGEX " + std::string(100000, '-') + "0, 0, 10, 10\nBEGIN\nEND\n";
  DialogTemplate dialog;
  std::string error;
  EXPECT_FALSE(ParseDialogTemplate(script, "D", &dialog, &error));
  EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
}

}  // namespace
