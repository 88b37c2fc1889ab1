// Window enumeration, titles, posted messages and the process snapshot.
#include <tlhelp32.h>

#include "standin_fixture.h"

namespace {

using WindowsTest = StandinTest;

BOOL CALLBACK Collect(HWND window, LPARAM data) {
  auto* seen = reinterpret_cast<std::vector<HWND>*>(data);
  seen->push_back(window);
  return seen->size() < 2 ? TRUE : FALSE;
}

INT_PTR CALLBACK NoProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

TEST_F(WindowsTest, EnumeratesLivingWindowsInCreationOrderUntilStopped) {
  HWND a = StandinCreateTopLevelWindow("Tidewell", "tw32.exe");
  HWND gone = StandinCreateTopLevelWindow("Gone", "x.exe");
  HWND b = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(109), nullptr, NoProc, 0);
  HWND c = StandinCreateTopLevelWindow("Third", "x.exe");
  DestroyWindow(gone);
  EXPECT_EQ(StandinWindowName(c), "#4");
  std::vector<HWND> seen;
  EXPECT_FALSE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&seen)));
  EXPECT_EQ(seen, (std::vector<HWND>{a, b}));
}

TEST_F(WindowsTest, PostedMessagesAreRecordedPerWindow) {
  HWND a = StandinCreateTopLevelWindow("Tidewell", "tw32.exe");
  HWND b = StandinCreateTopLevelWindow("Other", "tw32.exe");
  EXPECT_TRUE(PostMessageA(a, WM_QUIT, 0, 0));
  EXPECT_TRUE(PostMessageA(a, WM_CLOSE, 3, -4));
  DestroyWindow(b);
  EXPECT_FALSE(PostMessageA(b, WM_QUIT, 0, 0));
  std::vector<StandinPostedMessage> posted = StandinPostedMessages(a);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[1].message, static_cast<UINT>(WM_CLOSE));
  EXPECT_EQ(posted[1].wParam, 3u);
  EXPECT_EQ(posted[1].lParam, -4);
  EXPECT_TRUE(StandinPostedMessages(b).empty());
  EXPECT_EQ(StandinEvents(),
            (std::vector<std::string>{"PostMessageA|#1|0x12|0|0", "PostMessageA|#1|0x10|3|-4",
                                      "DestroyWindow|#2"}));
}

TEST_F(WindowsTest, ProcessesOfWindowsAndTheSnapshot) {
  HWND a = StandinCreateTopLevelWindow("A", "tw32.exe");
  HWND b = StandinCreateTopLevelWindow("B", "explorer.exe");
  HWND c = StandinCreateTopLevelWindow("C", "tw32.exe");
  HWND own = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(109), nullptr, NoProc, 0);
  DWORD pa = 0, pb = 0, pc = 0, pown = 0;
  EXPECT_NE(GetWindowThreadProcessId(a, &pa), 0u);
  GetWindowThreadProcessId(b, &pb);
  GetWindowThreadProcessId(c, &pc);
  GetWindowThreadProcessId(own, &pown);
  EXPECT_EQ(pa, pc);
  EXPECT_NE(pa, pb);
  EXPECT_EQ(pown, static_cast<DWORD>(getpid()));
  EXPECT_NE(pa, pown);
  EXPECT_EQ(GetWindowThreadProcessId(nullptr, &pa), 0u);

  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32 entry = {};
  EXPECT_FALSE(Process32First(snapshot, &entry));  // dwSize not set
  entry.dwSize = sizeof entry;
  std::map<DWORD, std::string> listed;
  for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
    listed[entry.th32ProcessID] = entry.szExeFile;
  }
  std::map<DWORD, std::string> want = {
      {pa, "tw32.exe"}, {pb, "explorer.exe"}, {pown, "posix_tests"}};
  EXPECT_EQ(listed, want);
  EXPECT_TRUE(CloseHandle(snapshot));
  EXPECT_FALSE(CloseHandle(snapshot));
}

}  // namespace
