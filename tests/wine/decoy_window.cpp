// A test helper: one top-level window whose title is the first argument.
// Its program file is not the product's, so the setup must leave it open
// even when the title starts with the product's name. With the second
// argument "--ignore-quit" it also stands in for a product that does not
// quit when asked: it goes on after WM_QUIT. With "--hold FILE" it holds
// FILE open, sharing only reading, while its window is open, as a program
// that lets the file be neither written, renamed nor replaced.
#include <windows.h>

namespace {

LRESULT CALLBACK DecoyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  const char* title = argc > 1 ? argv[1] : "Decoy";
  bool ignoreQuit = argc > 2 && lstrcmpA(argv[2], "--ignore-quit") == 0;
  if (argc > 3 && lstrcmpA(argv[2], "--hold") == 0 &&
      CreateFileA(argv[3], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  0, nullptr) == INVALID_HANDLE_VALUE) {
    return 3;
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DecoyWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "TidewellTestDecoy";
  if (!RegisterClassA(&windowClass)) return 1;

  HWND window = CreateWindowA("TidewellTestDecoy", title, WS_OVERLAPPEDWINDOW, 400, 100, 320, 200,
                              nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);

  MSG message;
  for (;;) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got < 0 || (got == 0 && !ignoreQuit)) break;
    if (got == 0) continue;  // WM_QUIT, ignored
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // Reaching this point means the window's loop was ended from outside.
  return 2;
}
