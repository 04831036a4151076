#pragma once
// The host system calls the platform makes to write files and start
// processes, as one table of function pointers.
//
// Every write path of the Linux backend (file calls on Windows and host
// paths, downloads, the start records, the services' run state, machine
// creation, SQLite's files through the platform's SQLite VFS, the writers of
// platform/fs/host_file.h) calls through hostCalls() instead of the C library
// directly. Production code never changes the table: it starts as the host's
// own functions. A test replaces entries to make, say, the third fsync of
// one file fail with EIO, and puts the saved entries back when it is done.
//
// Reads, stat calls and everything a forked child does before exec go to the
// host directly: a fault there would only test the test.
//
// Windows: no counterpart (Win32 calls go to the kernel).
// Linux emulation: the libc functions of the same names.

#include <sys/types.h>

namespace zorel::platform {

struct HostCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*openat)(int folder, const char* path, int flags, mode_t mode);
  ssize_t (*write)(int fd, const void* data, size_t size);
  ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t offset);
  int (*fsync)(int fd);
  int (*ftruncate)(int fd, off_t size);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*unlinkat)(int folder, const char* path, int flags);
  int (*mkdir)(const char* path, mode_t mode);
  int (*rmdir)(const char* path);
  pid_t (*fork)();
};

// The table the platform calls through. Changed only by tests, and only
// while no other thread of the process makes these calls.
HostCalls& hostCalls();

// The host's own functions, for putting entries back and for replacements
// that pass calls on.
const HostCalls& hostDefaultCalls();

}  // namespace zorel::platform
