// Test-only Windows program: the setup's extraction of its own payload into
// the directory in its command line, ended as a kill ends a program right
// before the second file is written. What it leaves is what a setup killed
// there leaves, since it is the same code and the same journal.
#include <windows.h>

#include "payload/payload.h"

namespace {

void EndBeforeTheSecondFile(HWND, const char*, int percent) {
  if (percent > 0) ExitProcess(137);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  if (!SetCurrentDirectoryA(commandLine)) return 2;
  ExtractPayload(nullptr, EndBeforeTheSecondFile);
  return 1;
}
