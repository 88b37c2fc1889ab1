// The runtime library's directory calls, for the POSIX stand-in. Paths use
// Windows syntax and go through the stand-in's drive mapping.
#ifndef TIDEWELL_POSIX_DIRECT_H
#define TIDEWELL_POSIX_DIRECT_H

// Makes the path the current directory: 0 on success, -1 on failure.
int _chdir(const char* path);
// Creates one directory level: 0 on success, -1 on failure.
int _mkdir(const char* path);

#endif  // TIDEWELL_POSIX_DIRECT_H
