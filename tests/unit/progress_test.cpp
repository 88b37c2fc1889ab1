// The progress window: its procedure, its template texts and the percentage line.
#include <gtest/gtest.h>
#include <standin.h>

#include "tests/unit/support/events.h"
#include "ui/progress.h"
#include "ui/resource.h"

namespace {

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinReset();
    window =
        CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
    ASSERT_NE(window, nullptr);
  }
  HWND window = nullptr;
};

TEST_F(ProgressTest, CreatedVisibleWithTheTemplateTexts) {
  EXPECT_EQ(EventsOf("ShowWindow"),
            std::vector<std::string>{"ShowWindow|" + StandinWindowName(window) + "|5"});
  EXPECT_EQ(StandinControlText(window, IDC_PERCENT), "Percent Complete:   0%");
  char title[64] = "";
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "Setup Progress");
}

TEST_F(ProgressTest, PercentageLine) {
  struct Case {
    int percent;
    const char* name;
    const char* text;
  } cases[] = {
      {0, "tw32.exe", "Percent Complete: 0%"},
      {50, "uninst.exe", "Percent Complete: 50%"},
      {100, "", "Percent Complete: 100%"},
      {7, "a name that is never shown", "Percent Complete: 7%"},
      {-1, "x", "Percent Complete: -1%"},
  };
  for (const Case& c : cases) {
    ReportProgress(window, c.name, c.percent);
    EXPECT_EQ(StandinControlText(window, IDC_PERCENT), c.text) << c.percent;
  }
  ReportProgress(nullptr, "", 100);  // No window: the update fails quietly.
}

// A report that would not change what a window shows leaves it alone; a new
// window, and a window whose last set failed, get the text all the same.
TEST_F(ProgressTest, SetsEachTextOnce) {
  HWND other =
      CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
  HWND bare = StandinCreateTopLevelWindow("no percentage line", "other.exe");
  struct Step {
    HWND owner;
    int percent;
    bool sets;
  } steps[] = {
      {window, 0, true},  {window, 0, false},  {window, 50, true},   {window, 50, false},
      {other, 50, true},  {other, 50, false},  {bare, 50, true},     {bare, 50, true},
      {other, 100, true}, {window, 100, true}, {window, 100, false},
  };
  for (const Step& step : steps) {
    const std::string name = StandinWindowName(step.owner);
    size_t before = EventsOf("SetDlgItemTextA").size();
    ReportProgress(step.owner, "x", step.percent);
    std::vector<std::string> sets = EventsOf("SetDlgItemTextA");
    EXPECT_EQ(sets.size() - before, step.sets ? 1u : 0u)
        << name << " " << step.percent << "%: " << EventDump();
    if (step.owner != bare) {
      EXPECT_EQ(StandinControlText(step.owner, IDC_PERCENT),
                "Percent Complete: " + std::to_string(step.percent) + "%")
          << name;
    }
  }
}

TEST_F(ProgressTest, ProcedureRows) {
  struct Case {
    UINT message;
    WPARAM wParam;
    INT_PTR result;
    const char* event;  // the event it causes, or ""
  } cases[] = {
      {WM_INITDIALOG, 0, TRUE, "ShowWindow"},
      {WM_INITDIALOG | 0x10000, 0, TRUE, "ShowWindow"},  // Low 16 bits decide.
      {WM_COMMAND, IDCANCEL, FALSE, "EndDialog"},
      {WM_COMMAND, IDCANCEL | (1u << 16), FALSE, "EndDialog"},
      {WM_COMMAND, IDOK, FALSE, ""},
      {WM_COMMAND, IDC_PERCENT, FALSE, ""},
      {0x0002, 0, FALSE, ""},
  };
  for (const Case& c : cases) {
    StandinReset();
    HWND dialog =
        CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
    size_t before = StandinEvents().size();
    EXPECT_EQ(ProgressDialogProc(dialog, c.message, c.wParam, 0), c.result)
        << std::hex << c.message;
    std::vector<std::string> after(StandinEvents().begin() + before, StandinEvents().end());
    if (c.event[0] == '\0') {
      EXPECT_TRUE(after.empty()) << std::hex << c.message << " " << EventDump();
    } else {
      ASSERT_EQ(after.size(), 1u) << EventDump();
      EXPECT_EQ(Fields(after[0])[0], c.event);
      if (std::string(c.event) == "EndDialog") {
        EXPECT_EQ(Fields(after[0])[2], "0");
      }
    }
  }
}

}  // namespace
