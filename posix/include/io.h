// The runtime library's low-level file calls, for the POSIX stand-in. Paths
// use Windows syntax and go through the stand-in's drive mapping (and the
// directories the program holds); the flags are the runtime library's.
#ifndef TIDEWELL_POSIX_IO_H
#define TIDEWELL_POSIX_IO_H

#include <fcntl.h>

#define _O_RDONLY O_RDONLY
#define _O_WRONLY O_WRONLY
#define _O_CREAT O_CREAT
#define _O_EXCL O_EXCL
#define _O_TRUNC O_TRUNC
#define _O_APPEND O_APPEND
#define _O_BINARY 0
#define _S_IREAD 0444
#define _S_IWRITE 0222

extern "C" {
// Opens `path`: a descriptor, or -1. With _O_CREAT | _O_EXCL nothing at the
// name is followed, a link included: the call fails when anything is there.
int _open(const char* path, int flags, ...);
int _read(int fd, void* buffer, unsigned int count);
int _write(int fd, const void* buffer, unsigned int count);
int _close(int fd);
}

#endif  // TIDEWELL_POSIX_IO_H
