// Forced ahead of every C++ source of the Windows builds (-include).
//
// libstdc++'s configuration header turns on MinGW's own C99 printf family
// (__USE_MINGW_ANSI_STDIO) whenever any C++ header is read, and <windows.h>
// reads one. That links about 28 KB of formatting code into every
// executable, while the program formats only %s, %d and %%, which the C
// runtime's functions handle. Reading that header once here and turning the
// switch off afterwards keeps it off: the header is not read again.
//
// With the switch off, snprintf is MinGW-w64's thin wrapper over msvcrt's
// _vsnprintf. The wrapper of MinGW-w64 10 terminates a text that does not
// fit and returns its full length (counted by msvcrt's _vscprintf); bare
// _vsnprintf, and older wrappers, return -1 and leave no terminator. Only a
// result n with 0 <= n < size means the text fits. Formats are msvcrt's:
// no %zu, %hh or %j.
#include <bits/c++config.h>

#undef __USE_MINGW_ANSI_STDIO
#define __USE_MINGW_ANSI_STDIO 0
