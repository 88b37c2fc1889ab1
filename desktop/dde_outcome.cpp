// How Program Manager took the commands of a list. Pure: no platform calls.
#include <string.h>

#include "desktop/progman.h"

namespace {

const char kReplaceItemPrefix[] = "[ReplaceItem(";

// ReplaceItem only makes room for the item that the next command adds; a
// refusal means there was nothing to replace.
bool RefusalIsHarmless(const char* command) {
  return strncmp(command, kReplaceItemPrefix, sizeof kReplaceItemPrefix - 1) == 0;
}

}  // namespace

CommandOutcome ClassifyTransaction(const TransactionResult* result) {
  if (!result->connected) return kCommandNoServer;
  if (result->returned) {
    return (result->resultWord & DDE_FACK) != 0 ? kCommandAcknowledged : kCommandRefused;
  }
  // Any other error (busy, the server gone, a message not posted) leaves
  // the command undone, as a refusal does.
  return result->lastError == DMLERR_EXECACKTIMEOUT ? kCommandTimedOut : kCommandRefused;
}

ListOutcome CombineOutcomes(const ProgmanCommand* commands, const CommandOutcome* outcomes,
                            int count) {
  bool anyAnswered = false;
  bool anyUndone = false;
  bool anyTimedOut = false;
  for (int i = 0; i < count; ++i) {
    if (outcomes[i] != kCommandNoServer) anyAnswered = true;
    if (outcomes[i] == kCommandTimedOut) anyTimedOut = true;
    bool refused = outcomes[i] == kCommandRefused && !RefusalIsHarmless(commands[i]);
    if (refused || outcomes[i] == kCommandNoServer) anyUndone = true;
  }
  if (!anyAnswered) return kListNoServer;
  if (anyUndone) return kListRefused;
  return anyTimedOut ? kListTimedOut : kListAcknowledged;
}

bool MadeByProgramManager(ListOutcome outcome) {
  return outcome == kListAcknowledged;
}

bool NeedsShortcutFiles(ListOutcome outcome) {
  return outcome == kListNoServer || outcome == kListRefused;
}
