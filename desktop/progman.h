// Registration of the product with Program Manager over DDE, and its items
// as shortcut files where Program Manager did not make them.
#ifndef TIDEWELL_DESKTOP_PROGMAN_H
#define TIDEWELL_DESKTOP_PROGMAN_H

#include <windows.h>
#include <ddeml.h>

#include "datadir/datadir.h"

const int kMainGroupCommandCount = 6;
const int kStartupGroupCommandCount = 4;
// The product's group is made current, then its two items go; then the
// Startup group is made current and the product's item there goes.
const int kGroupRemovalCommandCount = 3;
const int kStartupRemovalCommandCount = 2;
const int kRemovalCommandCount = kGroupRemovalCommandCount + kStartupRemovalCommandCount;
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

// The commands that take the product's items off the desktop again: its two
// items in its group, then its item in the Startup group, which bears the
// group's name. Each group is made current first. The groups themselves are
// not deleted: Program Manager deletes a group with everything in it.
int RemovalCommands(const char* groupName, const char* appName,
                    ProgmanCommand commands[kRemovalCommandCount]);

// How Program Manager took one command.
enum CommandOutcome {
  kCommandAcknowledged = 1,  // it carried the command out
  kCommandNoServer = 2,      // no conversation could be made
  kCommandRefused = 3,       // it answered that it did not carry it out
  kCommandTimedOut = 4       // no answer came within the transaction's timeout
};
// How a list of commands went, decided by the commands that make or delete
// something: all acknowledged; no Program Manager answered any of them;
// one was refused (or lost its server half way), so what the list makes is
// not all there; or one timed out and none was refused, so nobody knows.
enum ListOutcome { kListAcknowledged = 1, kListNoServer = 2, kListRefused = 3, kListTimedOut = 4 };
// What one execute transaction gave back.
struct TransactionResult {
  int connected;     // DdeConnect made a conversation
  int returned;      // DdeClientTransaction returned non-zero
  DWORD resultWord;  // the result word it filled in
  UINT lastError;    // DdeGetLastError after it returned zero
};
// The outcome of one transaction: acknowledged only when it returned
// non-zero with DDE_FACK in its result word.
CommandOutcome ClassifyTransaction(const TransactionResult* result);
// The outcome of a list of commands and their outcomes, in order. A refused
// ReplaceItem does not count: Program Manager refuses to replace an item
// that is not there yet, as on every first installation.
ListOutcome CombineOutcomes(const ProgmanCommand* commands, const CommandOutcome* outcomes,
                            int count);
// Whether Program Manager made what a list asks for: every command
// acknowledged.
inline bool MadeByProgramManager(ListOutcome outcome) {
  return outcome == kListAcknowledged;
}
// Whether the setup makes the items as shortcut files instead: no Program
// Manager answered, or it refused. A list that timed out may still be
// carried out, and shortcut files then would show the items twice.
inline bool NeedsShortcutFiles(ListOutcome outcome) {
  return outcome == kListNoServer || outcome == kListRefused;
}

// The product's items as shortcut files in the Start menu (shortcuts.cpp),
// for when Program Manager did not make them. Each file is recorded in the
// profile, so that the uninstaller removes exactly those files.
//
// Makes the product's group as a folder of the Start menu's Programs folder,
// all users' when the setup runs as an administrator, the user's own
// otherwise, holding the product's item and "Uninstall", with the targets,
// working directory and names of the Program Manager commands. Records what
// it made. 1 when both items were made.
int MakeGroupShortcuts(const char* mainExePath, const char* uninstallerPath, const char* dataDir);
// Makes the product's Startup item, named after the group, in the matching
// Startup folder, and records it: 1 when it was made.
int MakeStartupShortcut(const char* mainExePath, const char* dataDir);
// Deletes the shortcut files that the setup recorded, then the group's
// folder when the setup created it and nothing else is in it, and forgets
// the records. Returns 1 when a Startup shortcut was recorded.
int RemoveRecordedShortcuts();
// Removes the group's folder from the Programs folders, the user's and all
// users', wherever nothing else is in it: what Program Manager makes for a
// group is such a folder.
void RemoveEmptyGroupFolders();

// The DDEML instance of the registration stage; 0 outside it.
extern DWORD ddeInstance;

void DdeStart();
void DdeStop();
// Sends one command in a conversation of its own, with its terminating NUL,
// and says how Program Manager took it.
CommandOutcome ProgmanExecute(const char* command);
// Accepts a connection to a service named exactly groupName, on any topic.
HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ service,
                              HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

// The stage: the product's group, and the Startup item if the user agrees.
// Where Program Manager did not make them (none answered, or it refused),
// the same items are made as shortcut files in the Start menu. Returns 1
// when the Startup item was made, either way, else 0.
int RegisterProgramItems(const char* mainExePath, const char* uninstallerPath);
// The uninstaller's stage for the installation in `directory`: removes the
// product's two items and, with `startupItem` (the setup recorded that it
// made one), its Startup item; the shortcut files the setup recorded; the
// group's folder when nothing else is in it; and the Apps & features entry
// when it names `directory`. Nothing is asked and nothing reported.
void UnregisterProgramItems(const char* directory, int startupItem);

#endif  // TIDEWELL_DESKTOP_PROGMAN_H
