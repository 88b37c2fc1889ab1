// The uninstaller's Program Manager stage: the product's group goes, and so
// does its item in the Startup group, one conversation per command.
#include "desktop/progman.h"

namespace {

// The group's own command and the Startup pair.
const int kGroupCommandCount = 1;

}  // namespace

void UnregisterProgramItems() {
  static ProgmanCommand commands[kRemovalCommandCount];
  if (!RemovalCommands(SetupConfig.groupName, commands)) return;
  // Without the offer the setup never made a Startup item, and an item of
  // that name there is not the product's to remove.
  int count = SetupConfig.offerStartup != 0 ? kRemovalCommandCount : kGroupCommandCount;
  DdeStart();
  for (int i = 0; i < count; ++i) ProgmanExecute(commands[i]);
  DdeStop();
}
