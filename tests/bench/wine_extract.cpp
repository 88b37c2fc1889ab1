// Bench-only Windows program: the setup's extraction on its own, and its
// limit, over the payload linked into this program, for timing under Wine.
//
//   wine_extract setup DIR   the setup's stage: the progress window from the
//                            setup's own dialog template, on screen and drawn
//                            (a setup run has shown the running-copies warning
//                            by then), and ExtractPayload with ReportProgress
//   wine_extract limit DIR   nothing but the work: each file opened, each chunk
//                            through uncompress into one 32000-byte buffer and
//                            written, the file closed
//
// Both write into DIR, which must exist; the exit status is 0 on success.
// The setup's other stages (the data directory, the running-copies pause,
// Program Manager) come before the first file or after the last and are left
// out, so that no person or script has to answer them.
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include <zlib.h>

#include "payload/payload.h"
#include "ui/progress.h"
#include "ui/resource.h"

namespace {

int Limit() {
  static unsigned char buffer[kExtractBufferSize];
  for (int i = 0; i < kPayloadTable.fileCount; ++i) {
    const PayloadFile& file = kPayloadTable.files[i];
    FILE* out = fopen(file.name, "wb");
    if (out == NULL) return 1;
    for (int j = 0; j < file.chunkCount; ++j) {
      uLongf length = kExtractBufferSize;
      if (uncompress(buffer, &length, file.chunks[j].data, file.chunks[j].compressedLength) !=
              Z_OK ||
          fwrite(buffer, 1, length, out) != length) {
        fclose(out);
        return 1;
      }
    }
    if (fclose(out) != 0) return 1;
  }
  return 0;
}

int Setup(HINSTANCE instance) {
  HWND window =
      CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
  if (window == NULL) return 1;
  // Let the window appear and be drawn, as the warning's message loop does
  // in a setup run.
  DWORD until = GetTickCount() + 500;
  while (GetTickCount() < until) {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(10);
  }
  ExtractResult result = ExtractPayload(window, ReportProgress);
  DestroyWindow(window);
  return result == kExtractDone ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  char mode[16] = "";
  const char* dir = strchr(commandLine, ' ');
  if (dir == NULL || dir - commandLine >= static_cast<int>(sizeof mode)) return 2;
  memcpy(mode, commandLine, static_cast<size_t>(dir - commandLine));
  if (!SetCurrentDirectoryA(dir + 1)) return 2;
  if (strcmp(mode, "limit") == 0) return Limit();
  if (strcmp(mode, "setup") == 0) return Setup(instance);
  return 2;
}
