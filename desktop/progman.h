// Registration of the product with Program Manager over DDE.
#ifndef TIDEWELL_DESKTOP_PROGMAN_H
#define TIDEWELL_DESKTOP_PROGMAN_H

#include <windows.h>
#include <ddeml.h>

#include "datadir/datadir.h"

const int kMainGroupCommandCount = 6;
const int kStartupGroupCommandCount = 4;
const int kRemovalCommandCount = 3;
// Room for the longest command whole: the AddItem form's fixed characters,
// an installed path, an item name and the data directory.
const int kCommandSize = 64 + kInstalledPathSize + kConfigNameSize + kDataDirSize;
// Room for a DDE service name read back in the callback.
const int kDdeNameSize = 256;

typedef char ProgmanCommand[kCommandSize];

// The six commands that make the product's group and its two items, in
// order. Returns 1, or 0 when an input is too long for a command to be built
// whole (nothing is ever cut).
int MainGroupCommands(const char* groupName, const char* appName, const char* mainExePath,
                      const char* uninstallerPath, const char* dataDir,
                      ProgmanCommand commands[kMainGroupCommandCount]);
// The four commands that put the product into the Startup group.
int StartupGroupCommands(const char* groupName, const char* mainExePath, const char* dataDir,
                         ProgmanCommand commands[kStartupGroupCommandCount]);

// The commands that take the product off the desktop again: its group, then
// its item in the Startup group, which bears the group's name.
int RemovalCommands(const char* groupName, ProgmanCommand commands[kRemovalCommandCount]);

// The DDEML instance of the registration stage; 0 outside it.
extern DWORD ddeInstance;

void DdeStart();
void DdeStop();
// Sends one command in a conversation of its own, with its terminating NUL.
// Returns the transaction's result, or 0 when no server answered.
HDDEDATA ProgmanExecute(const char* command);
// Accepts a connection to a service named exactly groupName, on any topic.
HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ service,
                              HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

// The stage: the product's group, and the Startup item if the user agrees.
// Returns 1 when the Startup item's commands were sent, else 0.
int RegisterProgramItems(const char* mainExePath, const char* uninstallerPath);
// The uninstaller's stage: removes the product's group and, with
// `startupItem` (the setup recorded that it made one), the product's item in
// the Startup group. Nothing is asked and nothing reported.
void UnregisterProgramItems(int startupItem);

#endif  // TIDEWELL_DESKTOP_PROGMAN_H
