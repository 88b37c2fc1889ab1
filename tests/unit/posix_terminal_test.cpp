// The stand-in on the terminal, as the host setup binary runs it: answers
// from standard input, boxes and dialogs on standard output, real program
// starts. It runs in a fresh process, because a process that has been
// scripted once stays scripted.
#include <ftw.h>
#include <gtest/gtest.h>
#include <standin.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

char gTyped[64] = "-";

INT_PTR CALLBACK DirectoryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) SetDlgItemTextA(dialog, 1097, "C:\\init");
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    GetDlgItemTextA(dialog, 1097, gTyped, sizeof gTyped);
  }
  if (message == WM_COMMAND) EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
  return TRUE;
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) ShowWindow(dialog, SW_SHOW);
  return FALSE;
}

// Runs in the child: every call reads its answer from in.txt.
void RunOnTerminal(const std::string& dir) {
  if (freopen((dir + "/in.txt").c_str(), "r", stdin) == nullptr ||
      freopen((dir + "/out.txt").c_str(), "w", stdout) == nullptr) {
    exit(3);
  }
  std::ofstream results(dir + "/results.txt");
  results << MessageBoxA(nullptr, "Text", "Cap", MB_OK) << " ";
  results << MessageBoxA(nullptr, "Sure?", "Ask", MB_YESNO) << " ";
  HWND progress = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(109), nullptr, ProgressProc, 0);
  SetDlgItemTextA(progress, 1002, "Percent Complete: 50%");
  ShowWindow(progress, SW_SHOW);
  results << DialogBoxParamA(nullptr, MAKEINTRESOURCEA(113), nullptr, DirectoryProc, 0) << " ";
  results << gTyped << " ";
  results << MessageBoxA(nullptr, "Again?", "Ask", MB_YESNO) << " ";
  results << DialogBoxParamA(nullptr, MAKEINTRESOURCEA(113), nullptr, DirectoryProc, 0) << " ";
  auto start = std::chrono::steady_clock::now();
  Sleep(60000);  // scaled to nothing
  results << (std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) << " ";
  results << WinExec("D:\\run.sh marker", SW_SHOW) << " ";
  results << WinExec("\"D:\\missing.exe\" x", SW_SHOW) << "\n";
  results.close();
  exit(0);
}

TEST(TerminalTest, AnswersFromStandardInputAndDrawsOnStandardOutput) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child process re-runs this test, so it finds the directory that the
  // parent made through the environment.
  const char* known = getenv("STANDIN_TERMINAL_DIR");
  std::string dir = known != nullptr ? known : "";
  if (dir.empty()) {
    char pattern[] = "/tmp/standin-terminal-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    setenv("STANDIN_TERMINAL_DIR", dir.c_str(), 1);
    std::ofstream(dir + "/in.txt") << "anything\nYes\nD:\\typed\n";
    std::ofstream(dir + "/run.sh") << "#!/bin/sh\necho \"$1\" > \"$(pwd)/started.txt\"\n";
    chmod((dir + "/run.sh").c_str(), 0644);  // WinExec makes it runnable
  }
  setenv("SETUP_DRIVE_D", dir.c_str(), 1);
  setenv("SETUP_SLEEP_SCALE", "0", 1);
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);

  EXPECT_EXIT(RunOnTerminal(dir), ::testing::ExitedWithCode(0), "");
  ASSERT_EQ(chdir(cwd), 0);

  EXPECT_EQ(ReadAll(dir + "/results.txt"), "1 6 1 D:\\typed 7 0 1 33 2\n");
  const std::string dataText =
      "This application requires a directory in which to store its data files. The location "
      "below is recommended and should work fine for most users. If you wish to enter a "
      "different directory name, however, you may do so now.\n";
  const std::string prompt = "[Enter: OK | new text: replace and OK | :clear | :cancel]\n";
  EXPECT_EQ(ReadAll(dir + "/out.txt"),
            "== Cap ==\nText\n[OK]\n"
            "== Ask ==\nSure?\n[y/n]\n"
            "== Setup Progress ==\nThe application is now being installed.\n"
            "Percent Complete:   0%\nPercent Complete: 50%\n"
            "== Choose a Data Directory ==\n" +
                dataText + "> C:\\init\n" + prompt +
                "== Ask ==\nAgain?\n[y/n]\n"
                "== Choose a Data Directory ==\n" +
                dataText + "> C:\\init\n" + prompt);
  // The started program runs detached; give it a moment to write.
  for (int i = 0; i < 100 && ReadAll(dir + "/started.txt").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(ReadAll(dir + "/started.txt"), "marker\n");

  unsetenv("STANDIN_TERMINAL_DIR");
  unsetenv("SETUP_DRIVE_D");
  unsetenv("SETUP_SLEEP_SCALE");
  nftw(
      dir.c_str(),
      [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

}  // namespace
