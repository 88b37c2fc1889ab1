// The uninstaller's Program Manager stage: the product's group goes, and so
// does its item in the Startup group, one conversation per command.
#include "desktop/progman.h"

namespace {

// The group's own command and the Startup pair.
const int kGroupCommandCount = 1;

}  // namespace

void UnregisterProgramItems(int startupItem) {
  static ProgmanCommand commands[kRemovalCommandCount];
  if (!RemovalCommands(SetupConfig.groupName, commands)) return;
  // An item of the product's name in the Startup group that the setup did
  // not make is not the product's to remove; its commands also open that
  // group's window.
  int count = startupItem ? kRemovalCommandCount : kGroupCommandCount;
  DdeStart();
  for (int i = 0; i < count; ++i) ProgmanExecute(commands[i]);
  DdeStop();
}
