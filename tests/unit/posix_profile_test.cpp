// Reading and writing initialization files with the private-profile calls.
#include <dirent.h>

#include "standin_fixture.h"

namespace {

class ProfileTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    windows_ = Dir("windows");
    SetEnv("SETUP_WINDOWS_DIR", windows_);
    path_ = windows_ + "/tw.ini";
  }
  std::string windows_, path_;
};

const char kFile[] =
    "; settings\n"
    "[Other]\n"
    "dataDir=elsewhere\n"
    "\n"
    "[options]\n"
    "  DataDir =  C:\\Tidewell  \n"
    "empty=\n"
    "#dataDir=commented\n";

TEST_F(ProfileTest, ReadsValuesWithoutRegardToCase) {
  WriteFile(path_, kFile);
  struct Case {
    const char* section;
    const char* key;
    DWORD size;
    const char* want;
  } cases[] = {
      {"Options", "dataDir", 64, "C:\\Tidewell"}, {"OPTIONS", "DATADIR", 64, "C:\\Tidewell"},
      {"Options", "dataDir", 5, "C:\\T"},         {"Options", "empty", 64, ""},
      {"Options", "missing", 64, "dflt"},         {"Absent", "dataDir", 64, "dflt"},
      {"other", "datadir", 64, "elsewhere"},
  };
  for (const Case& c : cases) {
    char value[64];
    DWORD n = GetPrivateProfileStringA(c.section, c.key, "dflt", value, c.size, "tw.ini");
    EXPECT_STREQ(value, c.want) << c.section << "/" << c.key;
    EXPECT_EQ(n, strlen(c.want)) << c.section << "/" << c.key;
  }
}

TEST_F(ProfileTest, OnePairOfSurroundingDoubleQuotesIsRemoved) {
  struct Case {
    const char* line;
    const char* want;
  } cases[] = {
      {"dataDir=\"C:\\tw\"", "C:\\tw"},
      {"dataDir = \"C:\\my dir\" ", "C:\\my dir"},
      {"dataDir=\"\"C:\\tw\"\"", "\"C:\\tw\""},
      {"dataDir=\"\"", ""},
      {"dataDir=\"", "\""},
      {"dataDir=\"C:\\tw", "\"C:\\tw"},
      {"dataDir=C:\\\"tw\"", "C:\\\"tw\""},
  };
  for (const Case& c : cases) {
    WriteFile(path_, std::string("[Options]\n") + c.line + "\n");
    char value[64];
    DWORD n =
        GetPrivateProfileStringA("Options", "dataDir", "\"dflt\"", value, sizeof value, "tw.ini");
    EXPECT_STREQ(value, c.want) << c.line;
    EXPECT_EQ(n, strlen(c.want)) << c.line;
  }
}

TEST_F(ProfileTest, WriteThroughASymbolicLinkReplacesItsTarget) {
  std::string target = Dir("elsewhere") + "/real.ini";
  WriteFile(target, "[Keep]\nk=1\n");
  ASSERT_EQ(symlink("../elsewhere/real.ini", path_.c_str()), 0);
  std::string chain = windows_ + "/chain.ini";
  ASSERT_EQ(symlink("tw.ini", chain.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("Options", "dataDir", "D:\\x", "chain.ini"));
  EXPECT_EQ(ReadFile(target), "[Keep]\nk=1\n[Options]\ndataDir=D:\\x\n");
  char link[PATH_MAX] = "";
  ssize_t n = readlink(path_.c_str(), link, sizeof link - 1);
  EXPECT_EQ(std::string(link, n > 0 ? static_cast<size_t>(n) : 0), "../elsewhere/real.ini");
  // A link to a missing file makes that file; a loop of links is refused.
  std::string dangling = windows_ + "/dangling.ini";
  ASSERT_EQ(symlink("made.ini", dangling.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "v", "dangling.ini"));
  EXPECT_EQ(ReadFile(windows_ + "/made.ini"), "[S]\nk=v\n");
  ASSERT_EQ(symlink("loop.ini", (windows_ + "/loop.ini").c_str()), 0);
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", "loop.ini"));
}

TEST_F(ProfileTest, DefaultMayBeTheDestinationBuffer) {
  char buffer[64] = "C:\\Program Files\\Tidewell";
  EXPECT_EQ(GetPrivateProfileStringA("Options", "dataDir", buffer, buffer, sizeof buffer, "tw.ini"),
            25u);
  EXPECT_STREQ(buffer, "C:\\Program Files\\Tidewell");
  WriteFile(path_, kFile);
  EXPECT_EQ(GetPrivateProfileStringA("Options", "dataDir", buffer, buffer, sizeof buffer, "tw.ini"),
            11u);
  EXPECT_STREQ(buffer, "C:\\Tidewell");
}

TEST_F(ProfileTest, WritesChangeOnlyTheirEntry) {
  struct Case {
    const char* before;
    const char* section;
    const char* key;
    const char* after;
  } cases[] = {
      {kFile, "OPTIONS", "datadir",
       "; settings\n[Other]\ndataDir=elsewhere\n\n[options]\n  DataDir =D:\\x\nempty=\n"
       "#dataDir=commented\n"},
      {"[Options]\na=1\n\n[Next]\n", "Options", "dataDir",
       "[Options]\na=1\ndataDir=D:\\x\n\n[Next]\n"},
      {"[Other]\nk=v", "Options", "dataDir", "[Other]\nk=v\n[Options]\ndataDir=D:\\x\n"},
      {"[Options]\r\nx=1\r\n", "Options", "dataDir", "[Options]\r\nx=1\r\ndataDir=D:\\x\r\n"},
      {nullptr, "Options", "dataDir", "[Options]\ndataDir=D:\\x\n"},
  };
  for (const Case& c : cases) {
    unlink(path_.c_str());
    if (c.before != nullptr) WriteFile(path_, c.before);
    EXPECT_TRUE(WritePrivateProfileStringA(c.section, c.key, "D:\\x", "tw.ini"));
    EXPECT_EQ(ReadFile(path_), c.after) << (c.before ? c.before : "(no file)");
  }
  EXPECT_EQ(StandinEvents().back(), "WritePrivateProfileStringA|Options|dataDir|D:\\x|tw.ini");
}

TEST_F(ProfileTest, WriteReplacesTheFileAtomically) {
  WriteFile(path_, "[Options]\ndataDir=old\n");
  chmod(path_.c_str(), 0640);
  std::string link = windows_ + "/before.ini";
  ASSERT_EQ(::link(path_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("Options", "dataDir", "new", "tw.ini"));
  // A new file took the name; the old inode still holds the old content.
  EXPECT_EQ(ReadFile(link), "[Options]\ndataDir=old\n");
  EXPECT_EQ(ReadFile(path_), "[Options]\ndataDir=new\n");
  struct stat info;
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  int entries = 0;
  DIR* dir = opendir(windows_.c_str());
  while (struct dirent* entry = readdir(dir)) entries += entry->d_name[0] != '.';
  closedir(dir);
  EXPECT_EQ(entries, 2);  // tw.ini and before.ini, no temporary file left
}

TEST_F(ProfileTest, FindsTheWindowsDirectoryAndMappedPaths) {
  UnsetEnv("SETUP_WINDOWS_DIR");
  SetEnv("XDG_CONFIG_HOME", scratch_ + "/xdg");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "1", "a.ini"));
  EXPECT_EQ(ReadFile(scratch_ + "/xdg/a.ini"), "[S]\nk=1\n");
  UnsetEnv("XDG_CONFIG_HOME");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "2", "a.ini"));
  EXPECT_EQ(ReadFile(scratch_ + "/home/.config/a.ini"), "[S]\nk=2\n");
  SetEnv("SETUP_DRIVE_D", Dir("d"));
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "3", "D:\\b.ini"));
  EXPECT_EQ(ReadFile(scratch_ + "/d/b.ini"), "[S]\nk=3\n");
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "4", "Q:\\b.ini"));
  // Delete requests do not crash and remove what they name.
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", nullptr, "D:\\b.ini"));
  EXPECT_EQ(ReadFile(scratch_ + "/d/b.ini"), "[S]\n");
  EXPECT_TRUE(WritePrivateProfileStringA("S", nullptr, nullptr, "D:\\b.ini"));
  EXPECT_EQ(ReadFile(scratch_ + "/d/b.ini"), "");
}

}  // namespace
