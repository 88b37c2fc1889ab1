// A test helper: prints the texts of the controls of the top-level window
// whose caption is the first argument, one a line, so that a test can read
// what a message box says. Exits with 1 when there is no such window.
#include <windows.h>
#include <stdio.h>

namespace {

BOOL CALLBACK PrintControlText(HWND control, LPARAM) {
  // GetWindowTextA would not read another process's edit control.
  char text[4096];
  if (SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)) > 0) {
    printf("%s\n", text);
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HWND window = FindWindowA(nullptr, argv[1]);
  if (window == nullptr) return 1;
  EnumChildWindows(window, PrintControlText, 0);
  return 0;
}
