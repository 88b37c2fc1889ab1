// The file and process calls of the uninstaller over the stand-in.
#include "standin_fixture.h"

namespace {

class FilesTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    c_ = Dir("c");
    SetEnv("SETUP_DRIVE_C", c_);
    SetEnv("TMPDIR", Dir("c/tmp"));
    Dir("c/full");
    WriteFile(c_ + "/full/a.exe", "program");
    chmod((c_ + "/full/a.exe").c_str(), 0750);
    Dir("c/empty");
  }
  std::string c_;
};

TEST_F(FilesTest, AttributesCopiesAndDirectories) {
  EXPECT_EQ(GetFileAttributesA("C:\\full"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA("C:\\full\\a.exe"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA("C:\\full\\a.exe\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA("C:\\none"), INVALID_FILE_ATTRIBUTES);

  struct Case {
    const char* from;
    const char* to;
    BOOL failIfExists;
    BOOL result;
  } copies[] = {
      {"C:\\full\\a.exe", "C:\\empty\\b.exe", TRUE, TRUE},
      {"C:\\full\\a.exe", "C:\\empty\\b.exe", TRUE, FALSE},
      {"C:\\full\\a.exe", "C:\\empty\\b.exe", FALSE, TRUE},
      {"C:\\none.exe", "C:\\empty\\c.exe", FALSE, FALSE},
      {"C:\\full", "C:\\empty\\d.exe", FALSE, FALSE},
      {"C:\\full\\a.exe", "C:\\no\\such\\e.exe", FALSE, FALSE},
  };
  for (const Case& c : copies) {
    EXPECT_EQ(CopyFileA(c.from, c.to, c.failIfExists), c.result) << c.from << " -> " << c.to;
  }
  EXPECT_EQ(ReadFile(c_ + "/empty/b.exe"), "program");
  struct stat info;
  ASSERT_EQ(stat((c_ + "/empty/b.exe").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0750u) << "the copy can be started too";
  EXPECT_FALSE(Exists(c_ + "/empty/c.exe"));

  EXPECT_FALSE(RemoveDirectoryA("C:\\empty")) << "it holds b.exe";
  ASSERT_TRUE(DeleteFileA("C:\\empty\\b.exe"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\empty"));
  EXPECT_FALSE(RemoveDirectoryA("C:\\empty"));
}

// What a file call leaves for GetLastError, a link seen as a reparse point,
// a directory listed by "dir\*", and the trimmed name a call works on.
TEST_F(FilesTest, ErrorsLinksAndListings) {
  ASSERT_EQ(symlink((c_ + "/full").c_str(), (c_ + "/link").c_str()), 0);
  Dir("c/dot");
  struct Case {
    const char* name;
    DWORD attributes;
    DWORD error;
  } cases[] = {
      {"C:\\link", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0},
      {"C:\\dot. .", FILE_ATTRIBUTE_DIRECTORY, 0},
      {"C:\\none", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {"C:\\full\\a.exe\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"C:\\a?b", INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME},
      {"Q:\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"\\\\srv\\share", INVALID_FILE_ATTRIBUTES, ERROR_BAD_NETPATH},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(c.name), c.attributes) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
  EXPECT_FALSE(DeleteFileA("C:\\full"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "a directory";

  WIN32_FIND_DATAA found;
  std::vector<std::string> names;
  HANDLE find = FindFirstFileA("C:\\full\\*", &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do names.push_back(found.cFileName);
  while (FindNextFileA(find, &found));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(find));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.exe"}));
  EXPECT_EQ(FindFirstFileA("C:\\none\\*", &found), INVALID_HANDLE_VALUE);

  EXPECT_TRUE(RemoveDirectoryA("C:\\link")) << "the link itself goes";
  EXPECT_FALSE(Exists(c_ + "/link"));
  EXPECT_TRUE(Exists(c_ + "/full/a.exe")) << "its target stays";
}

TEST_F(FilesTest, TemporaryDirectoryAndUniqueNames) {
  char path[MAX_PATH];
  EXPECT_EQ(GetTempPathA(sizeof path, path), 7u);
  EXPECT_STREQ(path, "C:\\tmp\\");
  char small[4];
  EXPECT_EQ(GetTempPathA(sizeof small, small), 8u) << "the size needed";

  char first[MAX_PATH], second[MAX_PATH];
  ASSERT_NE(GetTempFileNameA("C:\\tmp", "uninstall", 0, first), 0u);
  ASSERT_NE(GetTempFileNameA("C:\\tmp\\", "uni", 0, second), 0u);
  EXPECT_STRNE(first, second);
  for (const char* name : {first, second}) {
    std::string text = name;
    EXPECT_EQ(text.rfind("C:\\tmp\\uni", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 4), ".tmp") << text;
    EXPECT_EQ(ReadFile(c_ + "/tmp/" + text.substr(7)), "") << "made, and empty: " << text;
  }
  EXPECT_EQ(GetTempFileNameA("C:\\no\\such", "uni", 0, first), 0u);
}

TEST_F(FilesTest, ModuleNameMoveAndDeletionAtRestart) {
  StandinSetModuleFileName("C:\\abc\\x.exe");
  char name[8];
  EXPECT_EQ(GetModuleFileNameA(nullptr, name, sizeof name), 8u) << "cut: the size comes back";
  EXPECT_STREQ(name, "C:\\abc\\");
  StandinSetModuleFileName("");
  char real[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, real, sizeof real);
  ASSERT_GT(length, 0u);
  std::string text(real, length);
  EXPECT_EQ(text.substr(text.rfind('\\') + 1), "posix_tests") << text;

  EXPECT_TRUE(MoveFileExA("C:\\full\\a.exe", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(Exists(c_ + "/full/a.exe")) << "only at the restart";
  EXPECT_FALSE(MoveFileExA("C:\\full\\a.exe", "C:\\b.exe", MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExA("C:\\full\\a.exe", "C:\\b.exe", 0));
  EXPECT_EQ(ReadFile(c_ + "/b.exe"), "program");
  WriteFile(c_ + "/full/a.exe", "again");
  EXPECT_FALSE(MoveFileExA("C:\\full\\a.exe", "C:\\b.exe", 0)) << "b.exe exists";
  EXPECT_TRUE(MoveFileExA("C:\\full\\a.exe", "C:\\b.exe", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadFile(c_ + "/b.exe"), "again");
}

// A directory opened without FILE_SHARE_DELETE is held: names below it
// keep reaching it after another process moves it and puts a link in its
// place, which opens as a reparse point of its own.
TEST_F(FilesTest, HeldDirectories) {
  HANDLE held = CreateFileA("C:\\full", FILE_LIST_DIRECTORY, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_EQ(rename((c_ + "/full").c_str(), (c_ + "/moved").c_str()), 0);
  ASSERT_EQ(symlink((c_ + "/empty").c_str(), (c_ + "/full").c_str()), 0);
  WriteFile(c_ + "/empty/a.exe", "not held");
  EXPECT_TRUE(DeleteFileA("C:\\full\\a.exe"));
  EXPECT_FALSE(Exists(c_ + "/moved/a.exe"));
  EXPECT_EQ(ReadFile(c_ + "/empty/a.exe"), "not held");
  HANDLE link = CreateFileA("C:\\full", 0, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info = {};
  EXPECT_TRUE(GetFileInformationByHandle(link, &info));
  EXPECT_EQ(info.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_TRUE(CloseHandle(link));
  EXPECT_TRUE(CloseHandle(held));
  EXPECT_FALSE(GetFileInformationByHandle(held, &info)) << "closed";
}

}  // namespace
