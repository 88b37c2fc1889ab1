// The entry point of the Windows programs, in place of the C runtime's
// startup code. The programs need none of what that code sets up (command
// line arguments, global constructors, thread-local storage, relocations
// of imported data, floating-point and exception handling: msvcrt.dll
// readies its heap, streams and environment when it is loaded), and leaving
// it out keeps more than 9 KB off every setup.exe. The programs are linked
// with -nostartfiles; the linker takes this function as the entry point by
// its name.
#include <windows.h>

namespace {

// The command line after the program's own name, as WinMain receives it:
// the name is quoted, or ends at the first blank; blanks after it go too.
LPSTR ArgumentsOf(LPSTR commandLine) {
  char* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace

extern "C" void WinMainCRTStartup() {
  // The show command as the starting program asked for it.
  STARTUPINFOA startup;
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
  // Every file the programs write is closed before WinMain returns.
  ExitProcess(static_cast<UINT>(
      WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentsOf(GetCommandLineA()), show)));
}
