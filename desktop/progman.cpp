// Program Manager over DDE: the client that sends one command per
// conversation, which both programs use, and the uninstaller's removal
// stage. The setup's registration stage, which works on the setup's data
// directory, is in register.cpp, so that the uninstaller links without it.
#include <string.h>

#include "desktop/progman.h"
#include "desktop/shell.h"

DWORD ddeInstance = 0;

namespace {

const char kProgman[] = "PROGMAN";
const DWORD kExecuteTimeoutMs = 2000;

// Sends a group's removal commands: the first makes the group current, the
// others delete its items. They go only when the group is current for
// certain; else they would name items of whichever group was current
// before. Returns 1 when the group was made current.
int RemoveItems(ProgmanCommand* commands, int count) {
  if (ProgmanExecute(commands[0]) != kCommandAcknowledged) return 0;
  for (int i = 1; i < count; ++i) ProgmanExecute(commands[i]);
  return 1;
}

}  // namespace

void DdeStart() {
  // Program Manager's replies come from a process that may run at a lower
  // integrity level than an elevated setup; they must be let in before the
  // DDEML makes its windows.
  AdmitDdeReplies();
  // A standard instance whose only filter fails execute transactions that
  // other programs might address to the setup program.
  DdeInitializeA(&ddeInstance, DdeCallback, CBF_FAIL_EXECUTES, 0);
}

void DdeStop() {
  DdeUninitialize(ddeInstance);
}

CommandOutcome ProgmanExecute(const char* command) {
  HSZ service = DdeCreateStringHandleA(ddeInstance, kProgman, 0);
  HSZ topic = DdeCreateStringHandleA(ddeInstance, kProgman, 0);
  HCONV conversation = DdeConnect(ddeInstance, service, topic, nullptr);
  TransactionResult result = {conversation != nullptr, 0, 0, DMLERR_NO_ERROR};
  if (conversation != nullptr) {
    // The text travels with its terminating NUL; the DDEML does not write to it.
    LPBYTE bytes = reinterpret_cast<LPBYTE>(const_cast<char*>(command));
    result.returned = DdeClientTransaction(bytes, static_cast<DWORD>(strlen(command) + 1),
                                           conversation, nullptr, CF_TEXT, XTYP_EXECUTE,
                                           kExecuteTimeoutMs, &result.resultWord) != nullptr;
    if (!result.returned) result.lastError = DdeGetLastError(ddeInstance);
  }
  DdeFreeStringHandle(ddeInstance, service);
  DdeFreeStringHandle(ddeInstance, topic);
  DdeDisconnect(conversation);
  return ClassifyTransaction(&result);
}

HDDEDATA CALLBACK DdeCallback(UINT type, UINT, HCONV, HSZ, HSZ service, HDDEDATA, ULONG_PTR,
                              ULONG_PTR) {
  if (type != XTYP_CONNECT) return nullptr;
  static char serviceName[kDdeNameSize];
  serviceName[0] = '\0';
  DdeQueryStringA(ddeInstance, service, serviceName, kDdeNameSize, 0);
  if (strcmp(serviceName, SetupConfig.groupName) != 0) return nullptr;
  return reinterpret_cast<HDDEDATA>(static_cast<INT_PTR>(TRUE));
}

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
