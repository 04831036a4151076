#pragma once
// The SQLite VFS every SQLite file of the program is opened with: the
// result store, the registry database and the event-log store.
//
// Windows: SQLite's own "win32" VFS.
// Linux emulation: a thin layer over SQLite's "unix" VFS whose file calls
// (open, write, pwrite, ftruncate, unlink, mkdir, rmdir, and each file's
// fsync) go through the platform's host-call table (base/host_calls.h), so
// a fault a test puts in the table reaches SQLite's files as it reaches
// every other file the platform writes. Locking, shared memory and reads
// are the unix VFS's own.

namespace zorel::platform {

// The VFS name to hand to sqlite3_open_v2; registered on the first call.
// RETURNS nullptr (SQLite's default VFS) when it could not be registered.
const char* sqliteVfsName();

}  // namespace zorel::platform
