// The uninstaller stand-in: says what it is and exits.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "Tidewell would now be removed from this computer.", "Uninstall Tidewell",
              MB_OK);
  return 0;
}
