// A scratch drive for tests: a temporary folder mapped as drive C:, with a
// Windows directory for the profile, entered as the current directory.
// Removed again, with everything in it, when the test ends.
#ifndef TIDEWELL_TESTS_SCRATCH_H
#define TIDEWELL_TESTS_SCRATCH_H

#include <string>

class ScratchDrive {
 public:
  ScratchDrive();
  ~ScratchDrive();
  const std::string& root() const { return root_; }
  // POSIX path of a Windows-style path below the drive root ("a\\b" -> root/a/b).
  std::string Path(const std::string& relative) const;
  std::string ProfilePath() const { return root_ + "/windows/tidewell.ini"; }
  void MakeDirectory(const std::string& relative) const;
  void WriteFile(const std::string& relative, const std::string& contents) const;

 private:
  std::string root_;
  std::string previousDirectory_;
};

#endif  // TIDEWELL_TESTS_SCRATCH_H
