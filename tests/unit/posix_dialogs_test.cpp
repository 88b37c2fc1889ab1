// Message boxes and dialogs in scripted mode, driven by queued answers.
#include <windows.h>

#include "standin_fixture.h"

namespace {

const int kEdit = 1097;
const char* gInitial = "C:\\init";
std::string gAccepted;

// A toy directory dialog: OK accepts any text but "bad", for which it shows
// a message and stays open.
INT_PTR CALLBACK ToyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextA(dialog, kEdit, gInitial);
    SetFocus(GetDlgItem(dialog, IDOK));
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  if (LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, 0);
  } else if (LOWORD(wParam) == IDOK) {
    char text[64];
    GetDlgItemTextA(dialog, kEdit, text, sizeof text);
    gAccepted = text;
    if (gAccepted == "bad") {
      MessageBoxA(nullptr, "Bad", "Rejected", MB_ICONWARNING);
    } else {
      EndDialog(dialog, 1);
    }
  }
  return TRUE;
}

INT_PTR CALLBACK StubbornProc(HWND, UINT, WPARAM, LPARAM) {
  return TRUE;
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) ShowWindow(dialog, SW_SHOW);
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
  return message == WM_INITDIALOG;
}

using DialogsTest = StandinTest;

TEST_F(DialogsTest, MessageBoxAnswers) {
  struct Case {
    UINT type;
    std::vector<std::string> answers;
    int want;
  } cases[] = {
      {MB_OK, {"whatever"}, IDOK}, {MB_ICONWARNING, {}, IDOK},   {MB_YESNO, {"y"}, IDYES},
      {MB_YESNO, {"YES"}, IDYES},  {MB_YESNO, {" Yes "}, IDYES}, {MB_YESNO, {"yess"}, IDNO},
      {MB_YESNO, {"n"}, IDNO},     {MB_YESNO, {}, IDNO},
  };
  for (const Case& c : cases) {
    StandinReset();
    StandinQueueAnswers(c.answers);
    EXPECT_EQ(MessageBoxA(nullptr, "Text", "Cap", c.type), c.want)
        << c.type << " " << (c.answers.empty() ? "<eof>" : c.answers[0]);
  }
  EXPECT_EQ(StandinEvents(), std::vector<std::string>{"MessageBoxA|Cap|Text|0x4|0|7"});
}

TEST_F(DialogsTest, ModalDialogFollowsTheAnswers) {
  struct Case {
    std::vector<std::string> answers;
    INT_PTR result;
    const char* accepted;
  } cases[] = {
      {{""}, 1, "C:\\init"}, {{"D:\\new"}, 1, "D:\\new"},
      {{":clear"}, 1, ""},   {{":cancel"}, 0, "-"},
      {{}, 0, "-"},          {{"bad", "", "ok"}, 1, "ok"},
      {{"bad"}, 0, "bad"},
  };
  for (const Case& c : cases) {
    StandinReset();
    StandinQueueAnswers(c.answers);
    gAccepted = "-";
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(113), nullptr, ToyProc, 0), c.result)
        << ::testing::PrintToString(c.answers);
    EXPECT_EQ(gAccepted, c.accepted) << ::testing::PrintToString(c.answers);
  }
  std::vector<std::string> want = {"DialogBoxParamA|113|0", "SetDlgItemTextA|#1|1097|C:\\init",
                                   "MessageBoxA|Rejected|Bad|0x30|0|1", "EndDialog|#1|0"};
  EXPECT_EQ(StandinEvents(), want);
  ASSERT_EQ(StandinDialogWindows().size(), 1u);
  EXPECT_FALSE(StandinWindowExists(StandinDialogWindows()[0]));
}

TEST_F(DialogsTest, DialogThatNeverEndsStopsAtEndOfInput) {
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(113), nullptr, StubbornProc, 0), 0);
}

TEST_F(DialogsTest, OkPressedAgainFromInsideAMessageBox) {
  StandinQueueAnswer("bad");
  bool existedDuringBox = false;
  StandinOnNextMessageBox([&] {
    HWND dialog = StandinDialogWindows().at(0);
    existedDuringBox = StandinWindowExists(dialog);
    SetDlgItemTextA(dialog, kEdit, "good");
    ToyProc(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(113), nullptr, ToyProc, 0), 1);
  EXPECT_TRUE(existedDuringBox);
  EXPECT_EQ(gAccepted, "good");
  // Each call is logged where it began: the box before what its hook did.
  std::vector<std::string> want = {"DialogBoxParamA|113|1", "SetDlgItemTextA|#1|1097|C:\\init",
                                   "MessageBoxA|Rejected|Bad|0x30|0|1",
                                   "SetDlgItemTextA|#1|1097|good", "EndDialog|#1|1"};
  EXPECT_EQ(StandinEvents(), want);
  EXPECT_FALSE(StandinWindowExists(StandinDialogWindows()[0]));
}

TEST_F(DialogsTest, UnknownTemplatesAndForcedFailures) {
  EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, ProgressProc, 0), nullptr);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, ToyProc, 0), -1);
  StandinFailNextDialog();
  StandinQueueAnswer("");
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(113), nullptr, ToyProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(113), nullptr, ToyProc, 0), 1);
  EXPECT_EQ(StandinEvents().at(2), "DialogBoxParamA|113|-1");
}

TEST_F(DialogsTest, ModelessDialogFromTheTemplate) {
  HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(109), nullptr, ProgressProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(StandinControlText(dialog, 1002), "Percent Complete:   0%");
  char title[8];
  EXPECT_EQ(GetWindowTextA(dialog, title, sizeof title), 7);
  EXPECT_STREQ(title, "Setup P");
  EXPECT_TRUE(SetDlgItemTextA(dialog, 1002, "Percent Complete: 50%"));
  EXPECT_EQ(StandinControlText(dialog, 1002), "Percent Complete: 50%");
  EXPECT_FALSE(SetDlgItemTextA(dialog, 4242, "x"));

  HWND percent = GetDlgItem(dialog, 1002);
  HWND label = GetDlgItem(dialog, -1);
  EXPECT_NE(percent, nullptr);
  EXPECT_NE(label, nullptr);
  EXPECT_NE(percent, label);
  EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
  SetFocus(percent);
  EXPECT_EQ(SetFocus(label), percent);

  EXPECT_TRUE(EndDialog(dialog, 0));
  EXPECT_TRUE(StandinWindowExists(dialog));
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_FALSE(StandinWindowExists(dialog));
  EXPECT_FALSE(DestroyWindow(dialog));
  std::vector<std::string> want = {"CreateDialogParamA|109|#1",
                                   "ShowWindow|#1|5",
                                   "SetDlgItemTextA|#1|1002|Percent Complete: 50%",
                                   "SetDlgItemTextA|#1|4242|x",
                                   "EndDialog|#1|0",
                                   "DestroyWindow|#1"};
  EXPECT_EQ(StandinEvents(), want);
}

}  // namespace
