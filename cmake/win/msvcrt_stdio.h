// Forced ahead of every C++ source of the Windows builds (-include).
//
// libstdc++'s configuration header turns on MinGW's own C99 printf family
// (__USE_MINGW_ANSI_STDIO) whenever any C++ header is read, and <windows.h>
// reads one. That links about 28 KB of formatting code into every
// executable, while the program formats only %s, %d and %%, which the C
// runtime's functions handle. Reading that header once here and turning the
// switch off afterwards keeps it off: the header is not read again.
//
// With the switch off, snprintf is msvcrt's _vsnprintf: when the text does
// not fit it returns -1 and may leave the buffer without a terminator, so
// only a result n with 0 <= n < size means the text fits.
#include <bits/c++config.h>

#undef __USE_MINGW_ANSI_STDIO
#define __USE_MINGW_ANSI_STDIO 0
