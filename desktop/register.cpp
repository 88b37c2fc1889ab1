// The setup's registration stage: the product's group with its two items,
// then the Startup item when the configuration offers it and the user
// agrees. What Program Manager did not make (none answered, or it refused)
// is made as shortcut files (shortcuts.cpp) instead.
#include "desktop/progman.h"

namespace {

ListOutcome SendAll(const ProgmanCommand* commands, int count) {
  CommandOutcome outcomes[kMainGroupCommandCount];
  for (int i = 0; i < count; ++i) outcomes[i] = ProgmanExecute(commands[i]);
  return CombineOutcomes(commands, outcomes, count);
}

}  // namespace

int RegisterProgramItems(const char* mainExePath, const char* uninstallerPath) {
  static ProgmanCommand mainCommands[kMainGroupCommandCount];
  static ProgmanCommand startupCommands[kStartupGroupCommandCount];
  static_assert(kStartupGroupCommandCount <= kMainGroupCommandCount, "SendAll holds either list");

  DdeStart();
  ListOutcome outcome = kListNoServer;
  if (MainGroupCommands(SetupConfig.groupName, SetupConfig.appName, mainExePath, uninstallerPath,
                        dataDirectory, mainCommands)) {
    outcome = SendAll(mainCommands, kMainGroupCommandCount);
  }
  if (NeedsShortcutFiles(outcome)) MakeGroupShortcuts(mainExePath, uninstallerPath, dataDirectory);
  int startupItem = 0;
  if (SetupConfig.offerStartup != 0 &&
      MessageBoxA(nullptr, SetupConfig.startupPrompt, "Add To Startup Group", MB_YESNO) == IDYES &&
      StartupGroupCommands(SetupConfig.groupName, mainExePath, dataDirectory, startupCommands)) {
    outcome = SendAll(startupCommands, kStartupGroupCommandCount);
    startupItem = MadeByProgramManager(outcome) || (NeedsShortcutFiles(outcome) &&
                                                    MakeStartupShortcut(mainExePath, dataDirectory))
                      ? 1
                      : 0;
  }
  DdeStop();
  return startupItem;
}
