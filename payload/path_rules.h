// Rules for the names and paths the programs build and remove: which names
// a setup may have installed, how a name joins its directory, and when a
// path counts as gone. The data directory, the staging folder, the
// uninstaller and the desktop records all take them from here.
#ifndef TIDEWELL_PAYLOAD_PATH_RULES_H
#define TIDEWELL_PAYLOAD_PATH_RULES_H

// Whether the file name from `name` to `end` is a reserved device name,
// which Windows opens as the device in any folder: the part before its
// first dot, without trailing blanks, is CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, or COM or LPT and one digit (superscript one, two and three
// count as digits too).
bool IsDeviceComponent(const char* name, const char* end);
// 1 when `name` is a bare file name the setup may have installed: printable
// ASCII without separators, wildcards or `:"<>|`, not "." or "..", not
// ending in a dot or blank, no device name, at most 255 characters.
int IsPlainFileName(const char* name);
// `directory`, one separator (none after a root's own) and `name` into
// `path`: 1, or 0 when it does not fit `size`.
int JoinPath(const char* directory, const char* name, char* path, int size);
// 1 when the system says nothing is at `path` (file or path not found); any
// other failure to look is not taken for "gone".
int PathIsGone(const char* path);

#endif  // TIDEWELL_PAYLOAD_PATH_RULES_H
