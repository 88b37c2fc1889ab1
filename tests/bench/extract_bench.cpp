// Extraction benchmark. Prints figures; asserts nothing.
//   1. Throughput of ExtractPayload against the limit measured in the same
//      run: the same chunks through uncompress alone plus the same bytes
//      written, as a ratio.
//   2. Peak heap in use while extracting a 1 MiB and a 256 MiB payload.
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "payload/payload.h"
#include "tests/unit/support/test_payload.h"

namespace {

// Heap accounting through the wrapped allocator (-Wl,--wrap=...).
bool counting = false;
size_t inUse = 0, peak = 0;

void Count(void* p) {
  if (!counting || p == nullptr) return;
  inUse += malloc_usable_size(p);
  peak = std::max(peak, inUse);
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RemoveOutputs() {
  unlink("tw32.exe");
  unlink("uninst.exe");
  sync();
}

// The limit: every chunk decompressed and written, with nothing else around it.
double RunLimit(const Payload& payload) {
  static unsigned char buffer[kExtractBufferSize];
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < payload.fileCount; ++i) {
    FILE* out = fopen(payload.files[i].name, "wb");
    for (int j = 0; j < payload.files[i].chunkCount; ++j) {
      uLongf length = kExtractBufferSize;
      uncompress(buffer, &length, payload.files[i].chunks[j].data,
                 payload.files[i].chunks[j].compressedLength);
      fwrite(buffer, 1, length, out);
    }
    fclose(out);
  }
  return Seconds(start);
}

double RunExtract(const Payload& payload) {
  auto start = std::chrono::steady_clock::now();
  if (ExtractPayloadFrom(&payload, nullptr, nullptr) != kExtractDone) abort();
  return Seconds(start);
}

size_t PeakHeap(size_t size) {
  TestPayload payload;
  payload.Build({{"tw32.exe", MakeContents(size, 3)}, {"uninst.exe", MakeContents(size / 4, 4)}});
  inUse = peak = 0;
  counting = true;
  RunExtract(payload.table);
  counting = false;
  return peak;
}

}  // namespace

extern "C" {
void* __real_malloc(size_t);
void* __real_calloc(size_t, size_t);
void __real_free(void*);
void* __wrap_malloc(size_t size) {
  void* p = __real_malloc(size);
  Count(p);
  return p;
}
void* __wrap_calloc(size_t n, size_t size) {
  void* p = __real_calloc(n, size);
  Count(p);
  return p;
}
void __wrap_free(void* p) {
  if (counting && p != nullptr) inUse -= malloc_usable_size(p);
  __real_free(p);
}
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : "/tmp";
  if (chdir(dir) != 0) {
    perror(dir);
    return 1;
  }
  const size_t size = 64u << 20;
  TestPayload payload;
  payload.Build({{"tw32.exe", MakeContents(size, 1)}, {"uninst.exe", MakeContents(size / 4, 2)}});
  double extract = 1e9, limit = 1e9;
  for (int round = 0; round < 5; ++round) {
    // Both start without files: overwriting the other's fresh output would
    // charge the cost of dropping its cached pages to whichever runs second.
    RemoveOutputs();
    limit = std::min(limit, RunLimit(payload.table));
    RemoveOutputs();
    extract = std::min(extract, RunExtract(payload.table));
  }
  double mib = (size + size / 4) / 1048576.0;
  printf("extraction of %.0f MiB (best of 5):\n", mib);
  printf("  ExtractPayload        %8.1f MiB/s\n", mib / extract);
  printf("  uncompress + write    %8.1f MiB/s\n", mib / limit);
  printf("  ratio                 %8.3f\n", limit / extract);

  size_t small = PeakHeap(1u << 20), large = PeakHeap(256u << 20);
  printf("peak heap in use during extraction:\n");
  printf("  1 MiB payload         %8zu bytes\n", small);
  printf("  256 MiB payload       %8zu bytes\n", large);
  RemoveOutputs();
  return 0;
}
