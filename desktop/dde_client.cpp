// A minimal DDE client for Program Manager: one conversation per command.
#include <string.h>

#include "desktop/progman.h"
#include "desktop/shell.h"

DWORD ddeInstance = 0;

namespace {
const char kProgman[] = "PROGMAN";
const DWORD kExecuteTimeoutMs = 2000;
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
