// The host Program Manager's desktop entries.
#include <ddeml.h>

#include "standin_fixture.h"

namespace {

class ProgmanTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    SetEnv("SETUP_DRIVE_C", Dir("c"));
    SetEnv("XDG_DATA_HOME", scratch_ + "/data");
    SetEnv("XDG_CONFIG_HOME", scratch_ + "/config");
    apps_ = scratch_ + "/data/applications/";
  }
  std::string apps_;
};

TEST_F(ProgmanTest, AddItemWritesADesktopEntry) {
  std::string c = scratch_ + "/c";
  Dir("c/Program Files/Tw");
  WriteFile(c + "/Program Files/Tw/tw32.exe", "program");
  chmod((c + "/Program Files/Tw/tw32.exe").c_str(), 0640);
  ASSERT_TRUE(StandinProgramManagerExecute("[CreateGroup(Tidewell)]"));
  ASSERT_TRUE(StandinProgramManagerExecute(
      "[AddItem(\"C:\\Program Files\\Tw\\tw32.exe\",Tidewell,,,,,\"C:\\Program Files\\Tw\")]"));
  EXPECT_EQ(ReadFile(apps_ + "Tidewell-Tidewell.desktop"),
            "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Tidewell\n"
            "Exec=\"" +
                c + "/Program Files/Tw/tw32.exe\"\nPath=" + c +
                "/Program Files/Tw\n"
                "Terminal=false\nCategories=Utility;\nX-Progman-Group=Tidewell\n");
  struct stat info;
  ASSERT_EQ(stat((c + "/Program Files/Tw/tw32.exe").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0750u);  // runnable, as any program file is on Windows
}

TEST_F(ProgmanTest, DeleteGroupAndDeleteItemRemoveOnlyWhatTheyName) {
  std::string autostart = scratch_ + "/config/autostart/Tidewell.desktop";
  const char* setup[] = {"[CreateGroup(Tidewell)]",
                         "[AddItem(\"C:\\tw32.exe\",Tidewell,,,,,\"C:\\\")]",
                         "[AddItem(\"C:\\uninst.exe\",Uninstall,,,,,\"C:\\\")]",
                         "[CreateGroup(Tidewell Extra)]",
                         "[AddItem(\"C:\\x.exe\",Tidewell,,,,,\"C:\\\")]",
                         "[CreateGroup(Startup)]",
                         "[AddItem(\"C:\\tw32.exe\",Tidewell,,,,,\"C:\\\")]"};
  for (const char* command : setup) ASSERT_TRUE(StandinProgramManagerExecute(command)) << command;
  WriteFile(apps_ + "Tidewell-Notes.desktop", "[Desktop Entry]\nName=Notes\n");

  struct Step {
    const char* command;
    bool accepted;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } steps[] = {
      {"[DeleteGroup(tidewell)]",
       true,
       {"Tidewell_Extra-Tidewell.desktop", "Tidewell-Notes.desktop"},
       {"Tidewell-Tidewell.desktop", "Tidewell-Uninstall.desktop"}},
      {"[DeleteGroup(Tidewell)]", false, {"Tidewell_Extra-Tidewell.desktop"}, {}},
      {"[CreateGroup(Startup)][DeleteItem(Tidewell)]", true, {}, {}},
      {"[DeleteItem(Tidewell)]", false, {}, {}},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(StandinProgramManagerExecute(step.command), step.accepted) << step.command;
    for (const std::string& name : step.present) {
      EXPECT_TRUE(Exists(apps_ + name)) << step.command << ": " << name;
    }
    for (const std::string& name : step.absent) {
      EXPECT_FALSE(Exists(apps_ + name)) << step.command << ": " << name;
    }
  }
  EXPECT_FALSE(Exists(autostart));
}

TEST_F(ProgmanTest, ExecQuotingAndFileNames) {
  struct Case {
    const char* target;
    const char* item;
    const char* file;
    std::string exec;
  } cases[] = {
      {"C:\\tw.exe", "Tidewell", "G_1-Tidewell.desktop", "Exec=" + scratch_ + "/c/tw.exe"},
      {"C:\\a$b\\x.exe", "A/B", "G_1-A_B.desktop", "Exec=\"" + scratch_ + "/c/a\\\\$b/x.exe\""},
      {"C:\\50%\\x.exe", "P", "G_1-P.desktop", "Exec=" + scratch_ + "/c/50%%/x.exe"},
      {"rel\\x.exe", "R", "G_1-R.desktop", "Exec=" + scratch_ + "/rel/x.exe"},
      {"C:\\a`b.exe", "Q", "G_1-Q.desktop", "Exec=\"" + scratch_ + "/c/a\\\\`b.exe\""},
  };
  ASSERT_EQ(chdir(scratch_.c_str()), 0);
  ASSERT_TRUE(StandinProgramManagerExecute("[CreateGroup(G 1)]"));
  for (const Case& c : cases) {
    std::string command = std::string("[AddItem(") + c.target + "," + c.item + ")]";
    ASSERT_TRUE(StandinProgramManagerExecute(command.c_str())) << command;
    std::string entry = ReadFile(apps_ + c.file);
    EXPECT_NE(entry.find(c.exec + "\n"), std::string::npos) << entry;
  }
}

TEST_F(ProgmanTest, ReplaceItemAndTheStartupGroup) {
  std::string entry = apps_ + "Tidewell-Uninstall.desktop";
  std::string autostart = scratch_ + "/config/autostart/Tidewell.desktop";
  const char* commands[] = {"[CreateGroup(Tidewell)][ShowGroup(Tidewell,5)]",
                            "[AddItem(\"C:\\uninst.exe\",Uninstall,,,,,\"C:\\\")]",
                            "[CreateGroup(STARTUP)]",
                            "[ShowGroup(Startup,5)]",
                            "[ReplaceItem(Tidewell)]",
                            "[AddItem(\"C:\\tw32.exe\",Tidewell,,,,,\"C:\\\")]"};
  for (const char* command : commands)
    EXPECT_TRUE(StandinProgramManagerExecute(command)) << command;
  EXPECT_TRUE(Exists(entry));
  EXPECT_TRUE(Exists(autostart));
  EXPECT_FALSE(Exists(apps_ + "Startup-Tidewell.desktop"));
  EXPECT_TRUE(StandinProgramManagerExecute("[ReplaceItem(Tidewell)]"));
  EXPECT_FALSE(Exists(autostart));
  EXPECT_TRUE(StandinProgramManagerExecute("[ShowGroup(Tidewell,5)][ReplaceItem(Uninstall)]"));
  EXPECT_FALSE(Exists(entry));
}

TEST_F(ProgmanTest, RefusesWhatItCannotDo) {
  const char* refused[] = {
      "[AddItem(\"C:\\tw.exe\",Tw)]",  // no group yet
      "[ReplaceItem(Tw)]",             // no group yet
      "[CreateGroup()]",
      "CreateGroup(Tw)",
      "[CreateGroup(Tw)",
      "[DeleteGroup(Tw)]",
      "[ShowGroup(Tw)]",
      "[ShowGroup(Tw,x)]",
      "",
  };
  for (const char* command : refused)
    EXPECT_FALSE(StandinProgramManagerExecute(command)) << command;
  ASSERT_TRUE(StandinProgramManagerExecute("[CreateGroup(Tw)]"));
  EXPECT_FALSE(StandinProgramManagerExecute("[AddItem(\"Q:\\tw.exe\",Tw)]"));
  EXPECT_FALSE(StandinProgramManagerExecute("[AddItem(\"C:\\tw.exe\",Tw,,,,,\"Q:\\\")]"));
  EXPECT_FALSE(StandinProgramManagerExecute("[AddItem(\"C:\\tw.exe)]"));
  EXPECT_FALSE(Exists(apps_ + "Tw-Tw.desktop"));
}

TEST_F(ProgmanTest, ServesDdeWhenRegistered) {
  StandinRegisterProgramManager();
  DWORD instance = 0;
  DdeInitializeA(&instance, nullptr, CBF_FAIL_EXECUTES, 0);
  HSZ name = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HCONV conversation = DdeConnect(instance, name, name, nullptr);
  ASSERT_NE(conversation, nullptr);
  for (std::string command : {"[CreateGroup(Tidewell)]", "[AddItem(\"C:\\tw.exe\",Tw)]"}) {
    EXPECT_NE(DdeClientTransaction(reinterpret_cast<LPBYTE>(&command[0]),
                                   static_cast<DWORD>(command.size() + 1), conversation, nullptr,
                                   CF_TEXT, XTYP_EXECUTE, 2000, nullptr),
              nullptr)
        << command;
  }
  EXPECT_TRUE(Exists(apps_ + "Tidewell-Tw.desktop"));
  std::string bad = "[Bogus()]";
  EXPECT_EQ(DdeClientTransaction(reinterpret_cast<LPBYTE>(&bad[0]), 10, conversation, nullptr,
                                 CF_TEXT, XTYP_EXECUTE, 2000, nullptr),
            nullptr);
  DdeUninitialize(instance);
}

}  // namespace
