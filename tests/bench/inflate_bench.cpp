// Decompression benchmark. Prints figures; asserts nothing.
// The zlib of the Windows builds (inflate side only, built for size, see
// cmake/InflateZlib.cmake) against the system's zlib: uncompress over the
// same payload chunks into a kExtractBufferSize buffer, in alternating
// rounds, best of each. Both are compiled for this machine, so the ratio
// shows what building for size costs the stub's extraction. The work is
// pure computation, so it is timed in the thread's CPU time, which other
// programs on a busy machine disturb less than the wall clock.
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>

#include "payload/payload.h"
#include "tests/unit/support/test_payload.h"

extern "C" int SmallUncompress(unsigned char* dest, unsigned long* destLen,
                               const unsigned char* source, unsigned long sourceLen);

namespace {

typedef int (*UncompressFn)(unsigned char*, unsigned long*, const unsigned char*, unsigned long);

int SystemUncompress(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                     unsigned long sourceLen) {
  return uncompress(dest, destLen, source, sourceLen);
}

double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// CPU seconds for every chunk of the table; the bytes produced are added to
// `check` so that both zlibs can be seen to give the same output.
double Run(const Payload& payload, UncompressFn fn, unsigned long* check) {
  static unsigned char buffer[kExtractBufferSize];
  double start = CpuSeconds();
  for (int i = 0; i < payload.fileCount; ++i) {
    for (int j = 0; j < payload.files[i].chunkCount; ++j) {
      unsigned long length = kExtractBufferSize;
      if (fn(buffer, &length, payload.files[i].chunks[j].data,
             payload.files[i].chunks[j].compressedLength) != Z_OK) {
        return -1;
      }
      *check = adler32(*check, buffer, length);
    }
  }
  return CpuSeconds() - start;
}

}  // namespace

int main() {
  const size_t size = 64u << 20;
  TestPayload payload;
  payload.Build({{"tw32.exe", MakeContents(size, 1)}, {"uninst.exe", MakeContents(size / 4, 2)}});
  double system = 1e9, small = 1e9;
  unsigned long systemCheck = 1, smallCheck = 1;
  const int kRounds = 7;
  for (int round = 0; round < kRounds; ++round) {
    unsigned long a = 1, b = 1;
    system = std::min(system, Run(payload.table, SystemUncompress, &a));
    small = std::min(small, Run(payload.table, SmallUncompress, &b));
    systemCheck = a;
    smallCheck = b;
  }
  double mib = (size + size / 4) / 1048576.0;
  printf("uncompress of %.0f MiB in %d-byte pieces (best of %d, CPU time):\n", mib,
         kPayloadPieceSize, kRounds);
  printf("  system zlib %-9s %8.1f MiB/s\n", zlibVersion(), mib / system);
  printf("  stub's inflate-only    %8.1f MiB/s\n", mib / small);
  printf("  ratio stub / system    %8.3f\n", system / small);
  printf("  same output            %8s (adler32 %08lx and %08lx)\n",
         systemCheck == smallCheck && system > 0 && small > 0 ? "yes" : "NO", systemCheck,
         smallCheck);
  return 0;
}
