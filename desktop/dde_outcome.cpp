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
  // One bit for each outcome met.
  unsigned seen = 0;
  for (int i = 0; i < count; ++i) {
    bool harmless = outcomes[i] == kCommandRefused && RefusalIsHarmless(commands[i]);
    seen |= 1u << (harmless ? kCommandAcknowledged : outcomes[i]);
  }
  // A command without a server amid answered ones is undone, as if refused.
  if ((seen & ~(1u << kCommandNoServer)) == 0) return kListNoServer;
  if ((seen & ((1u << kCommandRefused) | (1u << kCommandNoServer))) != 0) return kListRefused;
  return (seen & (1u << kCommandTimedOut)) != 0 ? kListTimedOut : kListAcknowledged;
}
