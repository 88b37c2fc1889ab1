// Extraction benchmark. Prints figures; asserts nothing.
//   1. Throughput of ExtractPayload against the limit measured in the same
//      run: the same chunks through uncompress alone plus the same bytes
//      written, as a ratio.
//   2. Peak heap in use while extracting a 1 MiB and a 256 MiB payload.
//   3. extract_bench DIR SET_LIST PREVIOUS_LIST: for a first installation
//      and reinstallations over the previous and the same version, the
//      stand-in's count of flushes and the peak room beyond the larger
//      installation, next to a plain overwrite's.
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <standin.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>
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

std::vector<TestFile> ReadSet(const std::string& list) {
  std::vector<TestFile> files;
  std::ifstream paths(list);
  for (std::string path; std::getline(paths, path);) {
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    files.push_back({std::filesystem::path(path).filename().string(), bytes.str()});
  }
  return files;
}

// Each file of the payload truncated and written again at its name in
// `directory`, through the stand-in, with nothing to undo a failure.
void Overwrite(const Payload& payload, const std::string& directory) {
  static unsigned char buffer[kExtractBufferSize];
  for (int i = 0; i < payload.fileCount; ++i) {
    std::string path = directory + "\\" + payload.files[i].name;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    SetEndOfFile(out);
    for (int j = 0; j < payload.files[i].chunkCount; ++j) {
      uLongf length = kExtractBufferSize;
      uncompress(buffer, &length, payload.files[i].chunks[j].data,
                 payload.files[i].chunks[j].compressedLength);
      DWORD written;
      WriteFile(out, buffer, static_cast<DWORD>(length), &written, nullptr);
    }
    CloseHandle(out);
  }
}

// Prints one run's flushes and room: `before` lays out the folder, `run`
// installs into it.
void PrintRoom(const char* what, const std::string& folder, const std::vector<TestFile>& before,
               const std::function<void()>& run) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (const TestFile& file : before) {
    std::ofstream(folder + "/" + file.name, std::ios::binary) << file.contents;
  }
  StandinSetDiskFree(1ll << 50);
  long long start, most, end;
  StandinDiskUse(&start, &most);
  size_t events = StandinEvents().size();
  run();
  StandinDiskUse(&end, &most);
  long flushes =
      std::count_if(StandinEvents().begin() + static_cast<long>(events), StandinEvents().end(),
                    [](const std::string& e) { return e == "FlushFileBuffers"; });
  printf("  %-44s %6ld flushes, %8.1f MiB at the peak beyond before and after\n", what, flushes,
         (most - std::max(start, end)) / 1048576.0);
}

void PrintJournalRoom(const std::string& dir, const std::string& setList,
                      const std::string& previousList) {
  std::vector<TestFile> set = ReadSet(setList), previous = ReadSet(previousList);
  TestPayload payload;
  payload.Build(set);
  setenv("SETUP_DRIVE_C", dir.c_str(), 1);
  const std::string folder = dir + "/target";
  const char* kTarget = "C:\\target";
  auto ours = [&] {
    if (ExtractPayloadInto(&payload.table, kTarget, nullptr, nullptr) != kExtractDone) abort();
  };
  auto plain = [&] { Overwrite(payload.table, kTarget); };
  unsigned long long bytes = 0, clusters = 0;
  for (const TestFile& file : previous) {
    bytes += file.contents.size();
    clusters += (file.contents.size() + 4095) / 4096 * 4096;
  }
  printf(
      "flushes and room, %zu files (the stand-in's counts); the previous version's files take\n"
      "%.1f MiB, %.1f MiB in 4 KiB clusters:\n",
      set.size(), bytes / 1048576.0, clusters / 1048576.0);
  PrintRoom("first installation: ours", folder, {}, ours);
  PrintRoom("first installation: a plain overwrite", folder, {}, plain);
  PrintRoom("over the previous version: ours", folder, previous, ours);
  PrintRoom("over the previous version: a plain overwrite", folder, previous, plain);
  PrintRoom("over the same version: ours", folder, set, ours);
  PrintRoom("over the same version: a plain overwrite", folder, set, plain);
  std::filesystem::remove_all(folder);
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
  if (argc == 4) {
    PrintJournalRoom(dir, argv[2], argv[3]);
    return 0;
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
