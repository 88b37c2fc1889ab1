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
// The commands of a list that make something: its first, CreateGroup, and
// the AddItem of each item. ShowGroup and ReplaceItem make nothing (a
// ReplaceItem is refused whenever there is no item to replace yet, as on
// every first installation), so their outcomes decide nothing.
const int kProgramAddItem = 3;    // in the main group's list
const int kUninstallAddItem = 5;  // in the main group's list
const int kStartupAddItem = 3;    // in the Startup group's list
// What became of one item of a list.
enum ItemOutcome {
  kItemByProgramManager = 1,  // its AddItem was acknowledged
  kItemNeedsShortcut = 2,     // CreateGroup or its AddItem was refused or found no server
  kItemMayStillBeMade = 3     // its AddItem timed out; shortcut files would show it twice
};
// Whether the rest of a list goes after its CreateGroup: not after a refusal
// or without a server, for the items would land in whichever group was
// current before.
bool GroupTakesItems(CommandOutcome createGroup);
// The outcome of the item that commands[addItem] of a list adds, from each
// command's outcome (outcomes[0] is CreateGroup's). The outcomes of
// commands that were not sent are not read.
ItemOutcome ItemOutcomeOf(const CommandOutcome* outcomes, int addItem);

// The product's items as shortcut files in the Start menu (shortcuts.cpp),
// for when Program Manager did not make them. Each file is recorded in the
// profile once it is saved and forgotten once it is gone, so that the
// records name exactly the shortcut files there are, and the uninstaller
// removes exactly those.
//
// Brings the group's two items in line with `outcomes` (the product's item,
// then "Uninstall"): one that Program Manager made loses the shortcut file
// that an earlier run made for it; one that it did not make gets a new
// shortcut file (the earlier one deleted first) in the group's folder of
// the Start menu's Programs folder, all users' when the setup runs as an
// administrator, the user's own otherwise, with the target, working
// directory and name of the Program Manager command; one that may still be
// made is left as it is. The group's folder that the setup made goes, with
// its record, once none of its shortcut files is left and nothing else is
// in it.
void SettleGroupShortcuts(const ItemOutcome outcomes[2], const char* mainExePath,
                          const char* uninstallerPath, const char* dataDir);
// The same for the product's Startup item, named after the group, in the
// matching Startup folder: 1 when the item is there afterwards, made by
// Program Manager or as a shortcut file.
int SettleStartupShortcut(ItemOutcome outcome, const char* mainExePath, const char* dataDir);
// Deletes the shortcut files that the setup recorded, then the group's
// folder when the setup created it and nothing else is in it, and forgets
// each record whose file or folder is gone. Returns 1 when a Startup
// shortcut was recorded.
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
// Each item that Program Manager did not make (none answered, or it
// refused the item or its group) is made as a shortcut file in the Start
// menu instead, and only such an item. Returns 1 when the Startup item was
// made, either way, else 0.
int RegisterProgramItems(const char* mainExePath, const char* uninstallerPath);
// The uninstaller's stage for the installation in `directory`: removes the
// product's two items and, with `startupItem` (the setup recorded that it
// made one), its Startup item; the shortcut files the setup recorded; the
// group's folder when nothing else is in it; and the Apps & features entry
// when it names `directory`. Nothing is asked and nothing reported.
void UnregisterProgramItems(const char* directory, int startupItem);

#endif  // TIDEWELL_DESKTOP_PROGMAN_H
