// Bench-only Windows program: the setup's extraction on its own, and its
// limit, over the payload linked into this program, for timing under Wine.
//
//   wine_extract setup DIR   the setup's stage: the progress window from the
//                            setup's own dialog template, on screen and drawn
//                            (a setup run has shown the running-copies warning
//                            by then), and ExtractPayload with ReportProgress:
//                            what an earlier run left settled, the data
//                            directory listed, files that hold the payload's
//                            bytes left alone, the room checked, the rest
//                            journaled and flushed in batches, each written
//                            and flushed, the commit flushed
//   wine_extract direct DIR  the same window and reports, each file written
//                            straight over its name ("wb"), with nothing to
//                            undo a failure and nothing flushed: the
//                            comparison for the setup's
//   wine_extract limit DIR   nothing but the work: each file opened, each chunk
//                            through uncompress into one 32000-byte buffer and
//                            written, the file closed
//   wine_extract check DIR   the setup's check of the whole payload against its
//                            checksum, run 20 times; writes the fastest run's
//                            microseconds and the payload's compressed bytes
//                            into check.txt
//
// All write into DIR, which must exist; the exit status is 0 on success.
// setup, direct and limit also write the microseconds the extraction itself
// took (from its call to its return, the progress window's appearance left
// out) into elapsed.txt beside DIR, so that a run over an installed copy,
// where no file is created, is timed as a first installation is.
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

// Each file written straight over its name, as the setup wrote them before
// it could undo a failure, with the same reports.
ExtractResult ExtractDirectly(HWND owner) {
  static unsigned char buffer[kExtractBufferSize];
  for (int i = 0; i < kPayloadTable.fileCount; ++i) {
    const PayloadFile& file = kPayloadTable.files[i];
    ReportProgress(owner, file.name, i * 100 / kPayloadTable.fileCount);
    FILE* out = fopen(file.name, "wb");
    if (out == NULL) return kExtractCannotCreate;
    for (int j = 0; j < file.chunkCount; ++j) {
      uLongf length = kExtractBufferSize;
      if (uncompress(buffer, &length, file.chunks[j].data, file.chunks[j].compressedLength) !=
          Z_OK) {
        fclose(out);
        return kExtractCorruptPayload;
      }
      if (fwrite(buffer, 1, length, out) != length) {
        fclose(out);
        return kExtractShortWrite;
      }
    }
    if (fclose(out) != 0) return kExtractShortWrite;
  }
  ReportProgress(owner, "", 100);
  return kExtractDone;
}

int Check() {
  double fastest = 1e9;
  unsigned long bytes = 0;
  for (int i = 0; i < kPayloadTable.fileCount; ++i) {
    for (int j = 0; j < kPayloadTable.files[i].chunkCount; ++j) {
      bytes += kPayloadTable.files[i].chunks[j].compressedLength;
    }
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  for (int run = 0; run < 20; ++run) {
    QueryPerformanceCounter(&start);
    if (!PayloadIsIntact(&kPayloadTable)) return 1;
    QueryPerformanceCounter(&end);
    double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                static_cast<double>(frequency.QuadPart);
    if (ms < fastest) fastest = ms;
  }
  FILE* out = fopen("check.txt", "w");
  if (out == NULL) return 1;
  fprintf(out, "%d %lu\n", static_cast<int>(fastest * 1000), bytes);
  return fclose(out) != 0;
}

LARGE_INTEGER started;

void StartClock() {
  QueryPerformanceCounter(&started);
}

// Writes the microseconds since StartClock into ..\elapsed.txt: 1 when it
// could not.
int StopClock() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  double micros = 1e6 * static_cast<double>(now.QuadPart - started.QuadPart) /
                  static_cast<double>(frequency.QuadPart);
  FILE* out = fopen("..\\elapsed.txt", "w");
  if (out == NULL) return 1;
  fprintf(out, "%.0f\n", micros);
  return fclose(out) != 0;
}

int Setup(HINSTANCE instance, bool undoable) {
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
  StartClock();
  ExtractResult result =
      undoable ? ExtractPayload(window, ReportProgress) : ExtractDirectly(window);
  int unwritten = StopClock();
  DestroyWindow(window);
  return result == kExtractDone && !unwritten ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  char mode[16] = "";
  const char* dir = strchr(commandLine, ' ');
  if (dir == NULL || dir - commandLine >= static_cast<int>(sizeof mode)) return 2;
  memcpy(mode, commandLine, static_cast<size_t>(dir - commandLine));
  if (!SetCurrentDirectoryA(dir + 1)) return 2;
  if (strcmp(mode, "limit") == 0) {
    StartClock();
    int failed = Limit();
    return failed | StopClock();
  }
  if (strcmp(mode, "setup") == 0) return Setup(instance, true);
  if (strcmp(mode, "direct") == 0) return Setup(instance, false);
  if (strcmp(mode, "check") == 0) return Check();
  return 2;
}
