// The program built with names as long as the configuration admits: every
// message that carries a name shows it whole.
#include <gtest/gtest.h>
#include <standin.h>

#include <string>
#include <vector>

#include "config/setup_config.h"
#include "tests/unit/support/events.h"
#include "tests/unit/support/scratch.h"
#include "tests/unit/support/test_payload.h"

namespace {
const std::string kGroup(kConfigNameSize - 1, 'G');
const std::string kApp(kConfigNameSize - 1, 'A');
const std::string kProfile = std::string(kConfigNameSize - 5, 'p') + ".ini";
}  // namespace

extern const char kMainExeName[] = "tw32.exe";
extern const SetupConfigRecord SetupConfig = {kGroup.c_str(), kApp.c_str(), kProfile.c_str(), 0,
                                              "Offer?",       kMainExeName};

namespace {

TEST(LongNamesTest, MessagesHoldTheLongestNamesWhole) {
  StandinReset();
  SetInstalledPayload("main program", "uninstaller");
  ScratchDrive drive;
  drive.WriteFile("file.txt", "x");
  // The profile cannot be written: a directory stands in its place.
  drive.MakeDirectory("windows\\" + kProfile);
  // A file is refused, then the proposed C:\<group> is made; then the
  // warning, the failed profile write and the final question.
  ASSERT_EQ(RunSetup({"C:\\file.txt", "", "C:\\" + kGroup, "", "", "n"}), 0);
  std::vector<std::string> boxes = EventsOf("MessageBoxA");
  ASSERT_EQ(boxes.size(), 4u) << EventDump();
  std::vector<std::string> texts;
  for (const std::string& box : boxes) texts.push_back(Fields(box)[2]);
  EXPECT_EQ(texts[0],
            "That path specifies a file, and not a new or existing directory name. Please enter "
            "a directory name, such as " +
                kGroup + " for example.");
  EXPECT_EQ(texts[2], "Setup could not record the location of the data directory in " + kProfile +
                          ". " + kApp +
                          " is installed, but it may not find its data files. Make sure you may "
                          "write to the Windows directory, then run the setup program again.");
  EXPECT_EQ(texts[3], kApp +
                          " has been successfully installed on your system.Would you like to "
                          "start " +
                          kApp + " now?");
  EXPECT_EQ(ReadFile(drive.Path(kGroup + "\\tw32.exe")), "main program");
}

}  // namespace
