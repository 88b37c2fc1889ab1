// Program Manager command texts. Pure: no platform calls.
#include <stdio.h>

#include "desktop/progman.h"

namespace {

// Whether snprintf's result says the whole command fitted.
bool Fits(int length) {
  return length >= 0 && length < kCommandSize;
}

}  // namespace

int MainGroupCommands(const char* groupName, const char* appName, const char* mainExePath,
                      const char* uninstallerPath, const char* dataDir,
                      ProgmanCommand commands[kMainGroupCommandCount]) {
  bool ok = Fits(snprintf(commands[0], kCommandSize, "[CreateGroup(%s)]", groupName));
  ok &= Fits(snprintf(commands[1], kCommandSize, "[ShowGroup(%s,5)]", groupName));
  ok &= Fits(snprintf(commands[2], kCommandSize, "[ReplaceItem(%s)]", appName));
  ok &= Fits(snprintf(commands[3], kCommandSize, "[AddItem(\"%s\",%s,,,,,\"%s\")]", mainExePath,
                      appName, dataDir));
  ok &= Fits(snprintf(commands[4], kCommandSize, "[ReplaceItem(Uninstall)]"));
  ok &= Fits(snprintf(commands[5], kCommandSize, "[AddItem(\"%s\",Uninstall,,,,,\"%s\")]",
                      uninstallerPath, dataDir));
  return ok ? 1 : 0;
}

int StartupGroupCommands(const char* groupName, const char* mainExePath, const char* dataDir,
                         ProgmanCommand commands[kStartupGroupCommandCount]) {
  bool ok = Fits(snprintf(commands[0], kCommandSize, "[CreateGroup(Startup)]"));
  ok &= Fits(snprintf(commands[1], kCommandSize, "[ShowGroup(Startup,5)]"));
  ok &= Fits(snprintf(commands[2], kCommandSize, "[ReplaceItem(%s)]", groupName));
  ok &= Fits(snprintf(commands[3], kCommandSize, "[AddItem(\"%s\",%s,,,,,\"%s\")]", mainExePath,
                      groupName, dataDir));
  return ok ? 1 : 0;
}

int RemovalCommands(const char* groupName, ProgmanCommand commands[kRemovalCommandCount]) {
  bool ok = Fits(snprintf(commands[0], kCommandSize, "[DeleteGroup(%s)]", groupName));
  ok &= Fits(snprintf(commands[1], kCommandSize, "[CreateGroup(Startup)]"));
  ok &= Fits(snprintf(commands[2], kCommandSize, "[DeleteItem(%s)]", groupName));
  return ok ? 1 : 0;
}
