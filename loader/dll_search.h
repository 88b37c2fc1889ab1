// Where the Windows loader looks for the DLLs a program loads after it has
// started.
#ifndef TIDEWELL_LOADER_DLL_SEARCH_H
#define TIDEWELL_LOADER_DLL_SEARCH_H

// Restricts later DLL loads to the system directory, so that a DLL placed
// beside the program (in a Downloads folder, say) or in the current directory
// is never loaded instead of the system's. Called first thing in WinMain.
// Returns 1 when the restriction is in force, 0 on a Windows that lacks
// SetDefaultDllDirectories (Vista, and 7 without update KB2533623), where the
// program runs on as before.
int RestrictDllSearch();

#endif  // TIDEWELL_LOADER_DLL_SEARCH_H
