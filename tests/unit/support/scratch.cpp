#include "tests/unit/support/scratch.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

ScratchDrive::ScratchDrive() {
  char cwd[PATH_MAX];
  previousDirectory_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
  char pattern[] = "/tmp/tidewell-test-XXXXXX";
  root_ = mkdtemp(pattern);
  std::filesystem::create_directories(root_ + "/windows");
  setenv("SETUP_DRIVE_C", root_.c_str(), 1);
  setenv("SETUP_WINDOWS_DIR", (root_ + "/windows").c_str(), 1);
  // Named mutexes live beside the drive, away from other runs.
  setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
  unsetenv("HOMEPATH");
  unsetenv("HOMEDRIVE");
  if (chdir(root_.c_str()) != 0) abort();
}

ScratchDrive::~ScratchDrive() {
  if (chdir(previousDirectory_.c_str()) != 0) return;
  std::error_code ignored;
  std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(root_, ignored);
}

std::string ScratchDrive::Path(const std::string& relative) const {
  std::string out = root_ + "/";
  for (char c : relative) out += (c == '\\') ? '/' : c;
  return out;
}

void ScratchDrive::MakeDirectory(const std::string& relative) const {
  std::filesystem::create_directories(Path(relative));
}

void ScratchDrive::WriteFile(const std::string& relative, const std::string& contents) const {
  std::ofstream(Path(relative), std::ios::binary) << contents;
}
