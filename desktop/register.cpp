// The registration stage: the product's group with its two items, then the
// Startup item when the configuration offers it and the user agrees.
#include "desktop/progman.h"

namespace {

void SendAll(ProgmanCommand* commands, int count) {
  for (int i = 0; i < count; ++i) ProgmanExecute(commands[i]);
}

}  // namespace

int RegisterProgramItems(const char* mainExePath, const char* uninstallerPath) {
  static ProgmanCommand mainCommands[kMainGroupCommandCount];
  static ProgmanCommand startupCommands[kStartupGroupCommandCount];

  DdeStart();
  if (MainGroupCommands(SetupConfig.groupName, SetupConfig.appName, mainExePath, uninstallerPath,
                        dataDirectory, mainCommands)) {
    SendAll(mainCommands, kMainGroupCommandCount);
  }
  int startupItem = 0;
  if (SetupConfig.offerStartup != 0 &&
      MessageBoxA(nullptr, SetupConfig.startupPrompt, "Add To Startup Group", MB_YESNO) == IDYES &&
      StartupGroupCommands(SetupConfig.groupName, mainExePath, dataDirectory, startupCommands)) {
    SendAll(startupCommands, kStartupGroupCommandCount);
    startupItem = 1;
  }
  DdeStop();
  return startupItem;
}
