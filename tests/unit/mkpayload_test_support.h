// Helpers shared by mkpayload's tests: scratch folders, test data, and the
// tool run as a process with its output captured.
#ifndef TIDEWELL_TESTS_UNIT_MKPAYLOAD_TEST_SUPPORT_H
#define TIDEWELL_TESTS_UNIT_MKPAYLOAD_TEST_SUPPORT_H

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace mkpayload_test {

namespace fs = std::filesystem;

// A scratch directory per test, emptied first and removed unless the test failed.
struct Scratch {
  fs::path dir;
  Scratch();
  ~Scratch();
};

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);

// Deterministic content of mixed compressibility: words and runs of noise.
std::string MakeData(std::size_t size, unsigned seed);

// Every path under dir, recursively, without following symbolic links.
std::set<fs::path> Listing(const fs::path& dir);

// Splits a command line at spaces.
std::vector<std::string> Args(const std::string& line);

struct RunResult {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs a command in dir with its standard output and error captured; shell
// text in prefix (such as "ulimit -f 8;") runs first in the same shell. A
// command that hangs is ended after two minutes and reports exit code 124.
RunResult RunIn(const fs::path& dir, const std::vector<std::string>& command,
                const std::string& prefix = "");

// Runs mkpayload with the words of line as its arguments.
RunResult RunTool(const fs::path& dir, const std::string& line, const std::string& prefix = "");

}  // namespace mkpayload_test

#endif  // TIDEWELL_TESTS_UNIT_MKPAYLOAD_TEST_SUPPORT_H
