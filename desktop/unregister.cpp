// The uninstaller's desktop stage: the product's items go, whether Program
// Manager or the setup's shortcut files made them, then the group's folder
// when nothing else is in it, then the entry in Apps & features.
#include "desktop/progman.h"
#include "desktop/shell.h"
#include "desktop/shortcuts.h"

namespace {

// Sends a group's commands: the first makes the group current, the others
// delete its items. They go only when the group is current for certain;
// else they would name items of whichever group was current before.
// Returns 1 when the group was made current.
int RemoveItems(ProgmanCommand* commands, int count) {
  if (ProgmanExecute(commands[0]) != kCommandAcknowledged) return 0;
  for (int i = 1; i < count; ++i) ProgmanExecute(commands[i]);
  return 1;
}

}  // namespace

void UnregisterProgramItems(const char* directory, int startupItem) {
  static ProgmanCommand commands[kRemovalCommandCount];
  int startupShortcut = RemoveRecordedShortcuts();
  if (RemovalCommands(SetupConfig.groupName, SetupConfig.appName, commands)) {
    DdeStart();
    // Program Manager keeps a group as a folder of the Start menu; making it
    // current may even have made that folder anew. Once the items are gone
    // it goes when nothing else is in it, never with the user's files.
    if (RemoveItems(commands, kGroupRemovalCommandCount)) RemoveEmptyGroupFolders();
    // An item of the product's name in the Startup group that the setup did
    // not make is not the product's to remove, nor is one when the setup's
    // Startup item was its shortcut file. These commands also open that
    // group's window.
    if (startupItem && !startupShortcut) {
      RemoveItems(commands + kGroupRemovalCommandCount, kStartupRemovalCommandCount);
    }
    DdeStop();
  }
  RemoveUninstallEntry(directory);
}
