// Test fixture for the stand-in's own tests: a scratch directory per test,
// environment variables set for the test and restored after it, and the
// stand-in reset into scripted mode.
#ifndef TIDEWELL_POSIX_TESTING_STANDIN_FIXTURE_H
#define TIDEWELL_POSIX_TESTING_STANDIN_FIXTURE_H

#include <ftw.h>
#include <gtest/gtest.h>
#include <standin.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/standin-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch_ = pattern;
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "SETUP_WINDOWS_DIR", "SETUP_DRIVE_C",
          "SETUP_DRIVE_D", "SETUP_DRIVE_Q", "SETUP_DRIVE_Z", "SETUP_SLEEP_SCALE", "TMPDIR"}) {
      UnsetEnv(name);
    }
    SetEnv("HOME", Dir("home"));
    StandinReset();
  }

  void TearDown() override {
    ASSERT_EQ(chdir(cwd_.c_str()), 0);
    for (const auto& saved : savedEnv_) {
      if (saved.second.first) {
        setenv(saved.first.c_str(), saved.second.second.c_str(), 1);
      } else {
        unsetenv(saved.first.c_str());
      }
    }
    nftw(
        scratch_.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
  }

  void SetEnv(const char* name, const std::string& value) {
    Save(name);
    setenv(name, value.c_str(), 1);
  }
  void UnsetEnv(const char* name) {
    Save(name);
    unsetenv(name);
  }

  // A directory under the scratch directory, made if missing.
  std::string Dir(const std::string& relative) {
    std::string path = scratch_;
    std::stringstream parts(relative);
    std::string part;
    while (std::getline(parts, part, '/')) {
      path += "/" + part;
      mkdir(path.c_str(), 0777);
    }
    return path;
  }

  static void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  static bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
  }

  std::string scratch_;

 private:
  void Save(const char* name) {
    if (savedEnv_.count(name) != 0) return;
    const char* value = getenv(name);
    savedEnv_[name] = {value != nullptr, value != nullptr ? value : ""};
  }

  std::string cwd_;
  std::map<std::string, std::pair<bool, std::string>> savedEnv_;
};

#endif  // TIDEWELL_POSIX_TESTING_STANDIN_FIXTURE_H
