// A test helper: one top-level window whose title is the first argument.
// Its program file is not the product's, so the setup must leave it open
// even when the title starts with the product's name.
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
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // Reaching this point means the window's loop was ended from outside.
  return 2;
}
