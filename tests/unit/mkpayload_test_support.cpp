#include "mkpayload_test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace mkpayload_test {

Scratch::Scratch() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir = fs::path(::testing::TempDir()) / ("mkpayload_" + std::string(info->name()));
  fs::remove_all(dir);
  fs::create_directories(dir);
}

Scratch::~Scratch() {
  if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string MakeData(std::size_t size, unsigned seed) {
  std::string out;
  unsigned state = seed * 2654435761u + 1;
  const char* words[] = {"payload ", "chunk ", "setup ", "window ", "table ", "\r\n"};
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    if ((state >> 16) % 4 != 0) {
      out += words[(state >> 20) % 6];
      continue;
    }
    for (int i = 0; i < 64; ++i)
      out += static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  }
  out.resize(size);
  return out;
}

std::set<fs::path> Listing(const fs::path& dir) {
  return {fs::recursive_directory_iterator(dir), fs::recursive_directory_iterator()};
}

std::vector<std::string> Args(const std::string& line) {
  std::istringstream words(line);
  return {std::istream_iterator<std::string>(words), {}};
}

RunResult RunIn(const fs::path& dir, const std::vector<std::string>& command,
                const std::string& prefix) {
  auto quote = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  };
  fs::path capture = fs::path(::testing::TempDir()) / ("mkpayload_run_" + std::to_string(getpid()));
  std::string line = "cd " + quote(dir.string()) + " && " + prefix + " timeout 120";
  for (const std::string& arg : command) line += " " + quote(arg);
  line += " >" + quote(capture.string() + ".out") + " 2>" + quote(capture.string() + ".err");
  int status = std::system(line.c_str());
  RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                   ReadFile(capture.string() + ".out"), ReadFile(capture.string() + ".err")};
  fs::remove(capture.string() + ".out");
  fs::remove(capture.string() + ".err");
  return result;
}

RunResult RunTool(const fs::path& dir, const std::string& line, const std::string& prefix) {
  std::vector<std::string> args = Args(line);
  args.insert(args.begin(), MKPAYLOAD_PATH);
  return RunIn(dir, args, prefix);
}

}  // namespace mkpayload_test
