// Times mkpayload on a 64 MiB input with one and with two compression
// threads and prints the speedups: of the whole run (reading, compressing,
// writing, in a process of its own) and of the parallel compression stage
// alone (CompressAll in this process).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mkpayload.h"

namespace fs = std::filesystem;

namespace {

// Mixed content, in 64 KiB stretches: text, machine-code-like bytes with
// repeated patterns, incompressible noise and zero padding, roughly as an
// installed program's files mix them.
std::vector<unsigned char> MakeInput(std::size_t size) {
  std::mt19937 random(20240601);
  const char* words[] = {"the ", "setup ",     "program ", "copies ",    "files ",   "into ",
                         "a ",   "directory ", "and ",     "registers ", "them\r\n", "window "};
  std::vector<unsigned char> out;
  out.reserve(size);
  const std::size_t stretch = 64 * 1024;
  for (std::size_t kind = 0; out.size() < size; ++kind) {
    std::size_t end = std::min(size, out.size() + stretch);
    switch (kind % 4) {
      case 0:
        while (out.size() < end) {
          const char* word = words[random() % 12];
          while (*word != '\0' && out.size() < end)
            out.push_back(static_cast<unsigned char>(*word++));
        }
        break;
      case 1:
        while (out.size() < end) {
          unsigned char opcodes[] = {0x8b, 0x45, 0x89, 0xe5, 0x55, 0xc3, 0xe8, 0x00, 0xff, 0x15};
          out.push_back(random() % 3 == 0 ? static_cast<unsigned char>(random())
                                          : opcodes[random() % 10]);
        }
        break;
      case 2:
        while (out.size() < end) out.push_back(static_cast<unsigned char>(random()));
        break;
      default:
        out.resize(end, 0);
        break;
    }
  }
  return out;
}

void Write(const fs::path& path, const std::vector<unsigned char>& data) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Runs mkpayload with the given job count; returns seconds, or -1 on failure.
double TimeRun(const fs::path& dir, int jobs) {
  std::string command = "cd '" + dir.string() + "' && '" MKPAYLOAD_PATH "' --jobs " +
                        std::to_string(jobs) +
                        " --main-exe tw32.exe --blob out.bin --asm out.S --table out.cpp"
                        " tw32.exe uninst.exe";
  auto start = std::chrono::steady_clock::now();
  int status = std::system(command.c_str());
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return status == 0 ? elapsed.count() : -1;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "mkpayload_bench";
  fs::create_directories(dir);
  const std::size_t size = 64u << 20;
  Write(dir / "tw32.exe", MakeInput(size));
  Write(dir / "uninst.exe", MakeInput(40000));

  // Runs alternate between the two job counts, so that a load from elsewhere
  // falls on both alike; the best of five of each is kept.
  const int kRuns = 5;
  double best[3] = {0, 0, 0};
  for (int run = 0; run < kRuns; ++run) {
    for (int jobs : {1, 2}) {
      double seconds = TimeRun(dir, jobs);
      if (seconds < 0) {
        std::fprintf(stderr, "mkpayload_bench: mkpayload --jobs %d failed\n", jobs);
        return 1;
      }
      if (run == 0 || seconds < best[jobs]) best[jobs] = seconds;
    }
  }
  std::printf("input: %zu bytes, blob: %ju bytes\n", size,
              static_cast<std::uintmax_t>(fs::file_size(dir / "out.bin")));
  std::printf("--jobs 1: %.3f s (best of %d)\n", best[1], kRuns);
  std::printf("--jobs 2: %.3f s (best of %d)\n", best[2], kRuns);
  std::printf("speedup of the whole run: %.2fx\n", best[1] / best[2]);

  std::vector<mkpayload::SourceFile> files = {{"tw32.exe", MakeInput(size)}};
  double stage[3] = {0, 0, 0};
  for (int run = 0; run < kRuns; ++run) {
    for (unsigned jobs : {1u, 2u}) {
      mkpayload::FileChunks chunks;
      std::string error;
      auto start = std::chrono::steady_clock::now();
      if (!mkpayload::CompressAll(files, jobs, &chunks, &error)) {
        std::fprintf(stderr, "mkpayload_bench: %s\n", error.c_str());
        return 1;
      }
      std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      if (run == 0 || elapsed.count() < stage[jobs]) stage[jobs] = elapsed.count();
    }
  }
  std::printf("compression stage, 1 thread: %.3f s, 2 threads: %.3f s (best of %d)\n", stage[1],
              stage[2], kRuns);
  std::printf("speedup of the compression stage: %.2fx\n", stage[1] / stage[2]);
  fs::remove_all(dir);
  return 0;
}
