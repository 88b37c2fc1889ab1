// The setup's registration stage: the product's group with its two items,
// then the Startup item when the configuration offers it and the user
// agrees. Each item that Program Manager did not make (none answered, or it
// refused the item or its group) is made as a shortcut file (shortcuts.cpp)
// instead; an item it made loses the shortcut file an earlier run made.
#include "desktop/progman.h"

namespace {

// Sends a list: CreateGroup, then the rest when the group takes items.
// `outcomes` gets each command's outcome; those not sent repeat
// CreateGroup's.
void SendList(const ProgmanCommand* commands, int count, CommandOutcome* outcomes) {
  outcomes[0] = ProgmanExecute(commands[0]);
  bool send = GroupTakesItems(outcomes[0]);
  for (int i = 1; i < count; ++i) outcomes[i] = send ? ProgmanExecute(commands[i]) : outcomes[0];
}

}  // namespace

int RegisterProgramItems(const char* mainExePath, const char* uninstallerPath) {
  static ProgmanCommand mainCommands[kMainGroupCommandCount];
  static ProgmanCommand startupCommands[kStartupGroupCommandCount];
  CommandOutcome outcomes[kMainGroupCommandCount];
  static_assert(kStartupGroupCommandCount <= kMainGroupCommandCount, "outcomes hold either list");

  DdeStart();
  // Commands that cannot be built whole are not sent, as if nobody answered.
  ItemOutcome items[2] = {kItemNeedsShortcut, kItemNeedsShortcut};
  if (MainGroupCommands(SetupConfig.groupName, SetupConfig.appName, mainExePath, uninstallerPath,
                        dataDirectory, mainCommands)) {
    SendList(mainCommands, kMainGroupCommandCount, outcomes);
    items[0] = ItemOutcomeOf(outcomes, kProgramAddItem);
    items[1] = ItemOutcomeOf(outcomes, kUninstallAddItem);
  }
  SettleGroupShortcuts(items, mainExePath, uninstallerPath, dataDirectory);
  int startupItem = 0;
  if (SetupConfig.offerStartup != 0 &&
      MessageBoxA(nullptr, SetupConfig.startupPrompt, "Add To Startup Group", MB_YESNO) == IDYES &&
      StartupGroupCommands(SetupConfig.groupName, mainExePath, dataDirectory, startupCommands)) {
    SendList(startupCommands, kStartupGroupCommandCount, outcomes);
    startupItem =
        SettleStartupShortcut(ItemOutcomeOf(outcomes, kStartupAddItem), mainExePath, dataDirectory);
  }
  DdeStop();
  return startupItem;
}
