// Program Manager's command texts, and how it took the commands of a list.
// Pure: no platform calls.
#include <stdio.h>

#include "desktop/progman.h"

namespace {

// Formats one command from its form and up to three texts; a form reads
// only the texts it names. Returns whether the whole command fitted.
bool Format(char* command, const char* form, const char* a = nullptr, const char* b = nullptr,
            const char* c = nullptr) {
  int length = snprintf(command, kCommandSize, form, a, b, c);
  return length >= 0 && length < kCommandSize;
}

const char kAddItemForm[] = "[AddItem(\"%s\",%s,,,,,\"%s\")]";

}  // namespace

int MainGroupCommands(const char* groupName, const char* appName, const char* mainExePath,
                      const char* uninstallerPath, const char* dataDir,
                      ProgmanCommand commands[kMainGroupCommandCount]) {
  bool ok = Format(commands[0], "[CreateGroup(%s)]", groupName);
  ok &= Format(commands[1], "[ShowGroup(%s,5)]", groupName);
  ok &= Format(commands[2], "[ReplaceItem(%s)]", appName);
  ok &= Format(commands[3], kAddItemForm, mainExePath, appName, dataDir);
  ok &= Format(commands[4], "[ReplaceItem(Uninstall)]");
  ok &= Format(commands[5], kAddItemForm, uninstallerPath, "Uninstall", dataDir);
  return ok ? 1 : 0;
}

int StartupGroupCommands(const char* groupName, const char* mainExePath, const char* dataDir,
                         ProgmanCommand commands[kStartupGroupCommandCount]) {
  bool ok = Format(commands[0], "[CreateGroup(Startup)]");
  ok &= Format(commands[1], "[ShowGroup(Startup,5)]");
  ok &= Format(commands[2], "[ReplaceItem(%s)]", groupName);
  ok &= Format(commands[3], kAddItemForm, mainExePath, groupName, dataDir);
  return ok ? 1 : 0;
}

int RemovalCommands(const char* groupName, const char* appName,
                    ProgmanCommand commands[kRemovalCommandCount]) {
  bool ok = Format(commands[0], "[CreateGroup(%s)]", groupName);
  ok &= Format(commands[1], "[DeleteItem(%s)]", appName);
  ok &= Format(commands[2], "[DeleteItem(Uninstall)]");
  ok &= Format(commands[3], "[CreateGroup(Startup)]");
  ok &= Format(commands[4], "[DeleteItem(%s)]", groupName);
  return ok ? 1 : 0;
}

CommandOutcome ClassifyTransaction(const TransactionResult* result) {
  if (!result->connected) return kCommandNoServer;
  if (result->returned) {
    return (result->resultWord & DDE_FACK) != 0 ? kCommandAcknowledged : kCommandRefused;
  }
  // Any other error (busy, the server gone, a message not posted) leaves
  // the command undone, as a refusal does.
  return result->lastError == DMLERR_EXECACKTIMEOUT ? kCommandTimedOut : kCommandRefused;
}

bool GroupTakesItems(CommandOutcome createGroup) {
  return createGroup == kCommandAcknowledged || createGroup == kCommandTimedOut;
}

ItemOutcome ItemOutcomeOf(const CommandOutcome* outcomes, int addItem) {
  if (!GroupTakesItems(outcomes[0])) return kItemNeedsShortcut;
  switch (outcomes[addItem]) {
    case kCommandAcknowledged:
      return kItemByProgramManager;
    case kCommandTimedOut:
      return kItemMayStillBeMade;
    default:
      // Refused, or the server gone half way: the item is not there.
      return kItemNeedsShortcut;
  }
}
