// The host build's answer to the shell and registry extras: the host has no
// message filter, no Start menu folders or shortcut files, no Explorer to
// start a program through and no Apps & features. Each extra says it is not
// there, as it would on a Windows without it, and the callers carry on:
// Program Manager's items become desktop entries, the product is started
// with WinExec.
#include <stdlib.h>

#include "datadir/datadir.h"
#include "desktop/shell.h"

int AdmitDdeReplies() {
  return 0;
}

int StartMenuFolderPath(StartMenuFolder, FolderOwner, char*) {
  return 0;
}

int MakeShellLink(const char*, const char*, const char*) {
  return 0;
}

int StartThroughShell(const char*, const char*) {
  return 0;
}

int WriteUninstallEntry(const char*, const char*, const char*) {
  return 0;
}

void RemoveUninstallEntry(const char*) {}

// The host has no other user's desktop and no code page to lose characters
// in: the home folder is that of the variables, as the C library reads them.
void LookUpHomeFolders(HomeFolders* homes) {
  homes->desktopUser = HomeFolder{0, 0, nullptr, nullptr, nullptr};
  homes->variables = HomeFolder{1, 1, getenv("HOMEDRIVE"), getenv("HOMEPATH"), nullptr};
}
