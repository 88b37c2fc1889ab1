// The resource-script reader and the rc2cpp tool.
#include <sys/wait.h>

#include "rc_parser.h"
#include "standin_fixture.h"

namespace {

const char kGood[] =
    "LANGUAGE 0x09, 0x01\n"
    "109 DIALOG 0, 0, 186, 54\n"
    "STYLE 0x80C800C0\n"
    "CAPTION \"Say \"\"hi\"\"\"\n"
    "FONT 8, \"MS Sans Serif\"\n"
    "BEGIN\n"
    "  CONTROL \"Text\", (-1), \"STATIC\", 0x50020000, 30, 14, 123, 12\n"
    "  CONTROL \"\", 1097, \"EDIT\", -1, -5, 0X10, 87, 8\n"
    "END\n"
    "7 DIALOG 1, 2, 3, 4\n"
    "BEGIN\n"
    "END\n";

TEST(RcParser, ReadsTheSubset) {
  std::vector<RcDialog> dialogs;
  std::string error;
  ASSERT_TRUE(ParseRcScript(kGood, &dialogs, &error)) << error;
  ASSERT_EQ(dialogs.size(), 2u);
  const RcDialog& d = dialogs[0];
  EXPECT_EQ(d.id, 109);
  EXPECT_EQ(d.style, 0x80C800C0u);
  EXPECT_EQ(d.cx, 186);
  EXPECT_EQ(d.caption, "Say \"hi\"");
  EXPECT_EQ(d.fontSize, 8);
  EXPECT_EQ(d.fontName, "MS Sans Serif");
  ASSERT_EQ(d.controls.size(), 2u);
  EXPECT_EQ(d.controls[0].id, -1);
  EXPECT_EQ(d.controls[1].className, "EDIT");
  EXPECT_EQ(d.controls[1].style, 0xFFFFFFFFu);
  EXPECT_EQ(d.controls[1].x, -5);
  EXPECT_EQ(d.controls[1].y, 16);
  EXPECT_TRUE(dialogs[1].controls.empty());
  std::string table = EmitDialogTable(dialogs, "in.rc");
  EXPECT_NE(table.find("{109, 0x80C800C0u, 0, 0, 186, 54, \"Say \\\"hi\\\"\", 8"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("{7, 0x00000000u, 1, 2, 3, 4, \"\", 0, \"\", nullptr, 0}"),
            std::string::npos)
      << table;
}

TEST(RcParser, RefusesEverythingElse) {
  const std::string head = "1 DIALOG 0, 0, 10, 10\nBEGIN\n";
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\nEND\n", "line 1: unsupported resource type 'DIALOGEX'"},
      {"IDD_X DIALOG 0, 0, 10, 10\n", "line 1: expected LANGUAGE or a numeric dialog id"},
      {"1 MENU\n", "unsupported resource type 'MENU'"},
      {"1 DIALOG 0, 0, 10\nBEGIN\nEND\n", "line 2: expected ','"},
      {"1 DIALOG 0, 0, 10, 10\nEXSTYLE 1\nBEGIN\nEND\n", "line 2: unsupported dialog option"},
      {"1 DIALOG 0, 0, 10, 10\nSTYLE 1\nSTYLE 2\nBEGIN\nEND\n", "line 3: STYLE given twice"},
      {head + "  PUSHBUTTON \"OK\", 1, 0, 0, 1, 1\nEND\n", "line 3: expected CONTROL or END"},
      {head + "  CONTROL \"OK\", 1, \"BUTTON\", 0x1 | 0x2, 0, 0, 1, 1\nEND\n",
       "unexpected character '|'"},
      {head + "  CONTROL \"OK\", 1, \"BUTTON\", 1, 0, 0, 1, 1, 0\nEND\n",
       "expected CONTROL or END but found ','"},
      {head + "  CONTROL \"OK\", 70000, \"BUTTON\", 1, 0, 0, 1, 1\nEND\n",
       "the control id 70000 is out of range"},
      {head + "  CONTROL \"OK, 1\nEND\n", "line 3: unterminated string"},
      {head + "END\n1 DIALOG 0, 0, 1, 1\nBEGIN\nEND\n", "line 4: dialog 1 defined twice"},
      {head, "expected CONTROL or END but found the end of the file"},
      {"#pragma code_page(1252)\n", "unexpected character '#'"},
      {"1 DIALOG 0, 0, 0x100000000, 1\n", "bad number '0x100000000'"},
  };
  for (const Case& c : cases) {
    std::vector<RcDialog> dialogs;
    std::string error;
    EXPECT_FALSE(ParseRcScript(c.text, &dialogs, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << "got: " << error;
  }
}

using Rc2cppTool = StandinTest;

TEST_F(Rc2cppTool, WritesTheTableOrFailsWithAMessage) {
  std::string good = scratch_ + "/good.rc.i", bad = scratch_ + "/bad.rc.i";
  std::string out = scratch_ + "/table.cpp", err = scratch_ + "/err.txt";
  WriteFile(good, kGood);
  WriteFile(bad, "1 DIALOG 0, 0, 1, 1\nCAPTION x\n");
  std::string run = std::string(RC2CPP_PATH) + " ";
  EXPECT_EQ(system((run + good + " " + out).c_str()), 0);
  EXPECT_NE(ReadFile(out).find("const DialogTemplate kDialogTemplates[] = {"), std::string::npos);
  int status = system((run + bad + " " + scratch_ + "/other.cpp 2>" + err).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadFile(err),
            "rc2cpp: " + bad + ": line 2: expected the caption (a quoted string) but found 'x'\n");
  EXPECT_FALSE(Exists(scratch_ + "/other.cpp"));
}

}  // namespace
