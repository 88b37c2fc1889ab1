// mkpayload benchmark. Prints figures; asserts nothing.
//   1. Peak resident memory of mkpayload (its own process, measured by
//      wait4) for 64 MiB and 256 MiB of mixed input, with --jobs 1 and 2,
//      and for 256 MiB in which every piece comes four times, with the
//      time of both 256 MiB runs: what finding and comparing repeats costs.
//   2. Speedup of the whole run (start, read, compress, write) with --jobs 2
//      over --jobs 1 on 64 MiB, runs alternating between the two so that a
//      load from elsewhere falls on both alike; every pair's outputs are
//      compared byte for byte.
// The load average before and after is printed, since other work on the
// machine moves the times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "traced_run.h"

namespace fs = std::filesystem;

namespace {

// Mixed content, in 64 KiB stretches: text, machine-code-like bytes with
// repeated patterns, incompressible noise and zero padding, roughly as an
// installed program's files mix them. Written as it is made.
void WriteInput(const fs::path& path, std::size_t size) {
  std::mt19937 random(20240601);
  const char* words[] = {"the ", "setup ",     "program ", "copies ",    "files ",   "into ",
                         "a ",   "directory ", "and ",     "registers ", "them\r\n", "window "};
  const unsigned char opcodes[] = {0x8b, 0x45, 0x89, 0xe5, 0x55, 0xc3, 0xe8, 0x00, 0xff, 0x15};
  std::ofstream out(path, std::ios::binary);
  std::vector<unsigned char> stretch;
  for (std::size_t kind = 0, written = 0; written < size; ++kind) {
    std::size_t length = std::min<std::size_t>(size - written, 64 * 1024);
    stretch.clear();
    while (stretch.size() < length) {
      switch (kind % 4) {
        case 0:
          for (const char* word = words[random() % 12]; *word != '\0'; ++word)
            stretch.push_back(static_cast<unsigned char>(*word));
          break;
        case 1:
          stretch.push_back(random() % 3 == 0 ? static_cast<unsigned char>(random())
                                              : opcodes[random() % 10]);
          break;
        case 2:
          stretch.push_back(static_cast<unsigned char>(random()));
          break;
        default:
          stretch.push_back(0);
          break;
      }
    }
    out.write(reinterpret_cast<const char*>(stretch.data()), static_cast<std::streamsize>(length));
    written += length;
  }
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// About size bytes in which every 30000-byte piece comes four times: a
// quarter of them, in whole pieces, written four times over.
void WriteRepeatingInput(const fs::path& path, std::size_t size) {
  fs::path part = path.string() + ".part";
  WriteInput(part, size / 4 / 30000 * 30000);
  std::string bytes = ReadText(part);
  fs::remove(part);
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < 4; ++i) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string LoadAverage() {
  std::string text = ReadText("/proc/loadavg");
  std::size_t third = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
  return text.substr(0, third);
}

struct Run {
  double seconds = -1;    // wall time; -1 when mkpayload failed
  double cpuSeconds = 0;  // user and system time of all its threads
  long peakKiB = 0;       // VmHWM: the peak of mkpayload's own memory
  bool traced = false;    // else peakKiB is wait4's ru_maxrss, an upper bound
};

// Runs mkpayload on dir's main.bin and uninst.bin with the given job count.
Run RunMkpayload(const fs::path& dir, int jobs) {
  std::string jobText = std::to_string(jobs);
  std::string paths[] = {(dir / "out.bin").string(), (dir / "out.S").string(),
                         (dir / "out.cpp").string(), "tw32.exe=" + (dir / "main.bin").string(),
                         "uninst.exe=" + (dir / "uninst.bin").string()};
  const char* argv[] = {MKPAYLOAD_PATH,   "--jobs",  jobText.c_str(),  "--main-exe",
                        "tw32.exe",       "--blob",  paths[0].c_str(), "--asm",
                        paths[1].c_str(), "--table", paths[2].c_str(), paths[3].c_str(),
                        paths[4].c_str(), nullptr};
  std::string log = (dir / "run.log").string();
  TracedRun traced = RunTraced(const_cast<char* const*>(argv), log.c_str());
  Run run;
  if (!traced.started) return run;
  if (traced.exitCode == 0) run.seconds = traced.seconds;
  run.cpuSeconds = traced.cpuSeconds;
  run.traced = traced.peakKiB > 0;
  run.peakKiB = run.traced ? traced.peakKiB : traced.maxRssKiB;
  return run;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream in[2] = {std::ifstream(a, std::ios::binary), std::ifstream(b, std::ios::binary)};
  std::vector<char> block[2] = {std::vector<char>(1 << 20), std::vector<char>(1 << 20)};
  for (;;) {
    for (int i = 0; i < 2; ++i) in[i].read(block[i].data(), std::streamsize(block[i].size()));
    if (in[0].gcount() != in[1].gcount() ||
        !std::equal(block[0].begin(), block[0].begin() + in[0].gcount(), block[1].begin())) {
      return false;
    }
    if (in[0].gcount() == 0) return in[0].eof() && in[1].eof();
  }
}

// Moves the last run's outputs aside under a tag.
void KeepOutputs(const fs::path& dir, const std::string& tag) {
  for (const char* name : {"out.bin", "out.S", "out.cpp"}) {
    fs::rename(dir / name, dir / (tag + name));
  }
}

bool SameOutputs(const fs::path& dir, const std::string& tagA, const std::string& tagB) {
  for (const char* name : {"out.bin", "out.S", "out.cpp"}) {
    if (!SameBytes(dir / (tagA + name), dir / (tagB + name))) return false;
  }
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Spread {
  double best, median, worst;
};

Spread SpreadOf(const std::vector<double>& values) {
  return {*std::min_element(values.begin(), values.end()), Median(values),
          *std::max_element(values.begin(), values.end())};
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "mkpayload_bench";
  const int kRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  fs::create_directories(dir);
  std::printf("load average before: %s (2 cores)\n", LoadAverage().c_str());
  WriteInput(dir / "uninst.bin", 40000);

  // 1. Peak resident memory; the 64 MiB figure is taken in the timed runs.
  std::printf("\npeak RSS of mkpayload (KiB, largest over its runs):\n");
  std::printf("  %-8s %12s %12s\n", "input", "--jobs 1", "--jobs 2");
  const std::size_t kSpeedSize = std::size_t{64} << 20;
  const std::size_t kLargeSize = std::size_t{256} << 20;
  long peak[3][3] = {};  // [64 MiB, 256 MiB, 256 MiB repeating][jobs]
  Run large[3][3];
  bool allTraced = true;
  for (int input : {1, 2}) {
    if (input == 1) WriteInput(dir / "main.bin", kLargeSize);
    if (input == 2) WriteRepeatingInput(dir / "main.bin", kLargeSize);
    for (int jobs : {1, 2}) {
      Run run = large[input][jobs] = RunMkpayload(dir, jobs);
      if (run.seconds < 0) {
        std::fprintf(stderr, "mkpayload_bench: mkpayload --jobs %d failed on 256 MiB\n", jobs);
        return 1;
      }
      peak[input][jobs] = run.peakKiB;
      allTraced = allTraced && run.traced;
    }
  }
  std::string shared = ReadText(dir / "run.log");

  // 2. The whole run, alternating job counts, outputs compared every pair.
  WriteInput(dir / "main.bin", kSpeedSize);
  std::vector<double> seconds[3], cpu[3], ratios;
  bool identical = true;
  for (int i = 0; i < kRuns; ++i) {
    for (int jobs : (i % 2 == 0 ? std::vector<int>{1, 2} : std::vector<int>{2, 1})) {
      Run run = RunMkpayload(dir, jobs);
      if (run.seconds < 0) {
        std::fprintf(stderr, "mkpayload_bench: mkpayload --jobs %d failed\n", jobs);
        return 1;
      }
      seconds[jobs].push_back(run.seconds);
      cpu[jobs].push_back(run.cpuSeconds);
      peak[0][jobs] = std::max(peak[0][jobs], run.peakKiB);
      allTraced = allTraced && run.traced;
      KeepOutputs(dir, "jobs" + std::to_string(jobs) + "_");
    }
    identical = identical && SameOutputs(dir, "jobs1_", "jobs2_");
    ratios.push_back(seconds[1].back() / seconds[2].back());
  }
  std::printf("  %-8s %12ld %12ld\n", "64 MiB", peak[0][1], peak[0][2]);
  std::printf("  %-8s %12ld %12ld\n", "256 MiB", peak[1][1], peak[1][2]);
  std::printf("  %-8s %12ld %12ld  (every piece four times)\n", "256 MiB", peak[2][1], peak[2][2]);
  for (int jobs : {1, 2}) {
    std::printf(
        "  time of the 256 MiB runs, --jobs %d: %.3f s (CPU %.3f s); repeating: %.3f s "
        "(CPU %.3f s)\n",
        jobs, large[1][jobs].seconds, large[1][jobs].cpuSeconds, large[2][jobs].seconds,
        large[2][jobs].cpuSeconds);
  }
  std::printf("  repeating: %s", shared.c_str());
  std::printf("  (%s)\n", allTraced ? "VmHWM read as mkpayload exits"
                                    : "wait4's ru_maxrss, which also counts this process's memory"
                                      " shared until the exec: an upper bound");

  std::printf("\nwhole run on 64 MiB (blob %ju bytes), %d runs of each, alternating:\n",
              static_cast<std::uintmax_t>(fs::file_size(dir / "jobs1_out.bin")), kRuns);
  for (int jobs : {1, 2}) {
    Spread s = SpreadOf(seconds[jobs]);
    std::printf("  --jobs %d: best %.3f s, median %.3f s, worst %.3f s; CPU time median %.3f s\n",
                jobs, s.best, s.median, s.worst, Median(cpu[jobs]));
  }
  Spread one = SpreadOf(seconds[1]), two = SpreadOf(seconds[2]), pair = SpreadOf(ratios);
  std::printf("  speedup --jobs 2 over --jobs 1: %.2fx of the best runs, %.2fx of the medians\n",
              one.best / two.best, one.median / two.median);
  std::printf("  speedup within each pair: median %.2fx, from %.2fx to %.2fx\n", pair.median,
              pair.best, pair.worst);
  // Less moved by other work on the machine than the wall times: what the
  // second thread costs in CPU time. With --jobs 1 on one core busy and
  // --jobs 2 on two, the speedup on an idle machine comes to about 2 / that.
  double overhead = Median(cpu[2]) / Median(cpu[1]);
  std::printf("  CPU time --jobs 2 over --jobs 1: %.2f (on two idle cores about %.2fx)\n", overhead,
              2 / overhead);
  std::printf("  outputs of --jobs 1 and --jobs 2 (blob, .S, table): %s\n",
              identical ? "byte-identical in every pair" : "DIFFERENT");
  std::printf("load average after: %s\n", LoadAverage().c_str());
  fs::remove_all(dir);
  return identical ? 0 : 1;
}
