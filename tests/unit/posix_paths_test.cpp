// Drive mapping and the file-lookup calls of the stand-in.
#include <direct.h>

#include "standin_fixture.h"

namespace {

class PathsTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    c_ = Dir("c");
    d_ = Dir("d");
    SetEnv("SETUP_DRIVE_C", c_);
    SetEnv("SETUP_DRIVE_D", d_ + "/");
  }
  std::string Map(const char* path) {
    char out[512];
    return StandinMapPath(path, out, sizeof out) ? out : "<unmapped>";
  }
  std::string c_, d_;
};

TEST_F(PathsTest, MapsDrivesAndSeparators) {
  struct Case {
    const char* in;
    std::string want;
  } cases[] = {
      {"C:\\a\\b", c_ + "/a/b"},
      {"c:/a\\b//c", c_ + "/a/b/c"},
      {"C:", c_},
      {"C:\\", c_},
      {"C:foo", c_ + "/foo"},
      {"D:\\x\\", d_ + "/x/"},
      {"C:\\a\\..\\..\\b", c_ + "/b"},
      {"Q:\\x", "<unmapped>"},
      {"rel\\dir/f", "rel/dir/f"},
      {"\\abs\\x", c_ + "/abs/x"},       // on the current drive, here C: by default
      {"\\\\srv\\share", "<unmapped>"},  // no network names on the host
  };
  for (const Case& c : cases) EXPECT_EQ(Map(c.in), c.want) << c.in;
}

TEST_F(PathsTest, UnmapsByTheDriveThatHoldsThePathMostClosely) {
  SetEnv("SETUP_DRIVE_Q", c_ + "/inner");
  std::string outside = scratch_ + "/elsewhere/f.txt";
  std::string backslashed = outside;
  for (char& ch : backslashed) ch = ch == '/' ? '\\' : ch;
  struct Case {
    std::string in;
    std::string want;
  } cases[] = {
      {c_ + "/a/b", "C:\\a\\b"},      {c_, "C:\\"},
      {d_ + "/x//y/", "D:\\x\\y"},    {c_ + "/inner/f", "Q:\\f"},
      {c_ + "/innerx", "C:\\innerx"}, {outside, "Z:" + backslashed},
      {"relative/path", "<none>"},
  };
  for (const Case& c : cases) {
    char out[512];
    std::string got = StandinUnmapPath(c.in.c_str(), out, sizeof out) ? out : "<none>";
    EXPECT_EQ(got, c.want) << c.in;
  }
  char small[4];
  EXPECT_FALSE(StandinUnmapPath((c_ + "/a/b").c_str(), small, sizeof small));
}

TEST_F(PathsTest, DriveCDefaultsToHomeAndOthersStayUnmapped) {
  UnsetEnv("SETUP_DRIVE_C");
  EXPECT_EQ(Map("C:\\x"), scratch_ + "/home/x");
  SetEnv("SETUP_DRIVE_Q", "");
  EXPECT_EQ(Map("q:\\x"), "<unmapped>");
  char small[4];
  EXPECT_FALSE(StandinMapPath("C:\\x", small, sizeof small));
}

TEST_F(PathsTest, ChdirAndMkdirGoThroughTheMapping) {
  EXPECT_EQ(_mkdir("D:\\new"), 0);
  EXPECT_EQ(_mkdir("D:\\new"), -1);
  EXPECT_EQ(_mkdir("D:\\no\\such"), -1);
  EXPECT_EQ(_mkdir("Q:\\new"), -1);
  for (const char* name : {"D:\\a*b", "D:\\a?b", "D:\\a|b", "D:\\a\"b"}) {
    EXPECT_EQ(_mkdir(name), -1) << name;  // names Windows does not allow
  }
  EXPECT_EQ(_chdir("D:/new"), 0);
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), d_ + "/new");
  EXPECT_EQ(_chdir("Q:\\"), -1);
  EXPECT_EQ(_chdir("D:\\missing"), -1);
}

TEST_F(PathsTest, FindFirstFileReportsKindAndName) {
  Dir("c/dir");
  WriteFile(c_ + "/file.txt", "12345");
  struct Case {
    const char* name;
    bool found;
    DWORD attributes;
    const char* fileName;
  } cases[] = {
      {"C:\\dir", true, FILE_ATTRIBUTE_DIRECTORY, "dir"},
      {"C:\\file.txt", true, FILE_ATTRIBUTE_NORMAL, "file.txt"},
      {"C:\\", false, 0, ""},  // a trailing separator finds nothing, as on Windows
      {"C:\\dir\\", false, 0, ""},
      {"C:\\dir/", false, 0, ""},
      {"C:", true, FILE_ATTRIBUTE_DIRECTORY, "c"},
      {"C:\\missing", false, 0, ""},
      {"C:\\*.txt", false, 0, ""},
      {"C:\\file.tx?", false, 0, ""},
      {"Q:\\", false, 0, ""},
  };
  for (const Case& c : cases) {
    WIN32_FIND_DATAA data = {};
    HANDLE find = FindFirstFileA(c.name, &data);
    EXPECT_EQ(find != INVALID_HANDLE_VALUE, c.found) << c.name;
    if (find == INVALID_HANDLE_VALUE) continue;
    EXPECT_EQ(data.dwFileAttributes, c.attributes) << c.name;
    EXPECT_STREQ(data.cFileName, c.fileName) << c.name;
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find));
  }
}

TEST_F(PathsTest, FullPathNames) {
  SetEnv("SETUP_DRIVE_Q", d_);
  ASSERT_EQ(chdir(d_.c_str()), 0);
  struct Case {
    const char* in;
    std::string want;
  } cases[] = {
      {"C:\\a\\..\\", "C:\\"},
      {"Q:/", "Q:\\"},
      {"C:/x//y/./z", "C:\\x\\y\\z"},
      {"C:\\a\\b\\", "C:\\a\\b\\"},
      {"C:\\..\\..", "C:\\"},
      {"C:", "C:\\"},
      {"sub/../f.txt", "D:\\f.txt"},
      {"/tmp/./x/", "D:\\tmp\\x\\"},
      // Trailing dots and blanks as Windows drops them: a dot ending a name
      // inside the path, all of them at the end unless a separator follows.
      {"C:\\a.\\b.\\c. .", "C:\\a\\b\\c"},
      {"C:\\a..\\b", "C:\\a.\\b"},
      {"C:\\x \\", "C:\\x \\"},
      {"C:\\x\\ ", "C:\\x\\"},
      {"C:\\a\\...", "C:\\a\\"},
      {"tw. ", "D:\\tw"},
  };
  for (const Case& c : cases) {
    char buffer[MAX_PATH];
    DWORD n = GetFullPathNameA(c.in, sizeof buffer, buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), c.want) << c.in;
  }
  char buffer[MAX_PATH] = "untouched";
  UnsetEnv("SETUP_DRIVE_Q");
  EXPECT_EQ(GetFullPathNameA("Q:\\x", sizeof buffer, buffer, nullptr), 0u);
  EXPECT_EQ(GetFullPathNameA("C:\\abc", 5, buffer, nullptr), 7u);  // the size it needs
  EXPECT_STREQ(buffer, "untouched");
  LPSTR filePart = nullptr;
  EXPECT_EQ(GetFullPathNameA("C:\\a\\name.ini", sizeof buffer, buffer, &filePart), 13u);
  EXPECT_STREQ(filePart, "name.ini");
}

// Rooted names without a drive lie on the current drive, and a name with the
// current drive but no separator continues the current directory. The
// current drive is the one the current directory was entered through, else
// the one whose folder holds it, but never the whole-file-system Z: unless
// it was entered through Z:; else C:.
TEST_F(PathsTest, RootedAndDriveRelativeNamesFollowTheCurrentDrive) {
  std::string outside = Dir("outside/deep");
  std::string outsideWin = "Z:" + outside;
  for (char& ch : outsideWin) ch = ch == '/' ? '\\' : ch;
  Dir("d/sub");
  struct Case {
    std::string enter;  // a Windows path for _chdir, or a POSIX path for chdir
    const char* name;
    std::string mapped;
    std::string full;
  } cases[] = {
      {d_ + "/sub", "\\x", d_ + "/x", "D:\\x"},
      {d_ + "/sub", "D:y\\..\\z", d_ + "/sub/z", "D:\\sub\\z"},
      {d_ + "/sub", "C:y", c_ + "/y", "C:\\y"},
      {d_ + "/sub", "y", "y", "D:\\sub\\y"},
      {"D:\\sub", "\\", d_, "D:\\"},
      {outside, "\\", c_, "C:\\"},
      {outside, "\\x\\..\\..", c_, "C:\\"},
      {outside, "y", "y", outsideWin + "\\y"},
      {outsideWin, "\\x", "/x", "Z:\\x"},
      {outsideWin, "..", "..", outsideWin.substr(0, outsideWin.rfind('\\'))},
  };
  for (const Case& c : cases) {
    if (c.enter[0] == '/') {
      ASSERT_EQ(chdir(c.enter.c_str()), 0) << c.enter;
    } else {
      ASSERT_EQ(_chdir(c.enter.c_str()), 0) << c.enter;
    }
    EXPECT_EQ(Map(c.name), c.mapped) << "in " << c.enter << ": " << c.name;
    char buffer[MAX_PATH];
    DWORD n = GetFullPathNameA(c.name, sizeof buffer, buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), c.full) << "in " << c.enter << ": " << c.name;
  }
}

TEST_F(PathsTest, DriveTypes) {
  SetEnv("SETUP_DRIVE_Q", scratch_ + "/absent");
  struct Case {
    const char* root;
    UINT want;
  } cases[] = {{"C:\\", DRIVE_FIXED},         {"d:/", DRIVE_FIXED},        {"C:", DRIVE_FIXED},
               {"Q:\\", DRIVE_NO_ROOT_DIR},   {"Y:\\", DRIVE_NO_ROOT_DIR}, {"Z:\\", DRIVE_FIXED},
               {"C:\\dir", DRIVE_NO_ROOT_DIR}};
  for (const Case& c : cases) EXPECT_EQ(GetDriveTypeA(c.root), c.want) << c.root;
}

TEST_F(PathsTest, DeleteFileRemovesOnlyExistingFiles) {
  WriteFile(c_ + "/gone.exe", "x");
  EXPECT_TRUE(DeleteFileA("C:\\gone.exe"));
  EXPECT_FALSE(Exists(c_ + "/gone.exe"));
  EXPECT_FALSE(DeleteFileA("C:\\gone.exe"));
  EXPECT_FALSE(DeleteFileA("Q:\\gone.exe"));
}

}  // namespace
