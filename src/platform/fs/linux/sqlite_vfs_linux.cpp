// SQLite's unix VFS with its file calls routed through the host-call table
// (see sqlite_vfs.h).
//
// Two parts. The unix VFS keeps its system calls in a table of its own
// (xSetSystemCall); the calls that change files are pointed at functions
// that call hostCalls(). It has no entry for fsync, so the VFS registered
// here wraps each file: xSync first makes the file's data durable through
// hostCalls().fsync, and only then lets the unix file do its own sync
// (which also syncs the folder of a new journal). The descriptor of the
// wrapped file is the one the routed open handed out while the unix VFS
// opened it.

#include "zorel/platform/fs/sqlite_vfs.h"

#include <errno.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <mutex>

#include "zorel/platform/base/host_calls.h"

namespace zorel::platform {

namespace {

constexpr const char* kVfsName = "zorel";

// The descriptor the last routed open of this thread handed out.
thread_local int lastOpened = -1;

int routedOpen(const char* path, int flags, int mode) {
  const int fd = hostCalls().open(path, flags, static_cast<mode_t>(mode));
  lastOpened = fd;
  return fd;
}
ssize_t routedWrite(int fd, const void* data, size_t size) {
  return hostCalls().write(fd, data, size);
}
ssize_t routedPwrite(int fd, const void* data, size_t size, off_t offset) {
  return hostCalls().pwrite(fd, data, size, offset);
}
int routedFtruncate(int fd, off_t size) { return hostCalls().ftruncate(fd, size); }
int routedUnlink(const char* path) { return hostCalls().unlink(path); }
int routedMkdir(const char* path, mode_t mode) { return hostCalls().mkdir(path, mode); }
int routedRmdir(const char* path) { return hostCalls().rmdir(path); }

// The wrapper file: the unix VFS's file follows it in the same allocation.
struct RoutedFile {
  sqlite3_file base;
  int fd;
  sqlite3_file* inner;
};

constexpr size_t kInnerOffset = (sizeof(RoutedFile) + 15) / 16 * 16;

sqlite3_vfs* innerVfs = nullptr;
sqlite3_vfs routedVfs{};
sqlite3_io_methods routedMethods{};

sqlite3_file* inner(sqlite3_file* file) { return reinterpret_cast<RoutedFile*>(file)->inner; }

int fileClose(sqlite3_file* file) {
  sqlite3_file* real = inner(file);
  const int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
  file->pMethods = nullptr;
  return rc;
}
int fileRead(sqlite3_file* file, void* data, int size, sqlite3_int64 offset) {
  return inner(file)->pMethods->xRead(inner(file), data, size, offset);
}
int fileWrite(sqlite3_file* file, const void* data, int size, sqlite3_int64 offset) {
  return inner(file)->pMethods->xWrite(inner(file), data, size, offset);
}
int fileTruncate(sqlite3_file* file, sqlite3_int64 size) {
  return inner(file)->pMethods->xTruncate(inner(file), size);
}
int fileSync(sqlite3_file* file, int flags) {
  const int fd = reinterpret_cast<RoutedFile*>(file)->fd;
  if (fd >= 0) {
    int rc;
    do {
      rc = hostCalls().fsync(fd);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return SQLITE_IOERR_FSYNC;
  }
  return inner(file)->pMethods->xSync(inner(file), flags);
}
int fileSize(sqlite3_file* file, sqlite3_int64* size) {
  return inner(file)->pMethods->xFileSize(inner(file), size);
}
int fileLock(sqlite3_file* file, int level) {
  return inner(file)->pMethods->xLock(inner(file), level);
}
int fileUnlock(sqlite3_file* file, int level) {
  return inner(file)->pMethods->xUnlock(inner(file), level);
}
int fileCheckLock(sqlite3_file* file, int* out) {
  return inner(file)->pMethods->xCheckReservedLock(inner(file), out);
}
int fileControl(sqlite3_file* file, int op, void* arg) {
  return inner(file)->pMethods->xFileControl(inner(file), op, arg);
}
int fileSectorSize(sqlite3_file* file) { return inner(file)->pMethods->xSectorSize(inner(file)); }
int fileDevice(sqlite3_file* file) {
  return inner(file)->pMethods->xDeviceCharacteristics(inner(file));
}
int fileShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
  return inner(file)->pMethods->xShmMap(inner(file), page, size, extend, out);
}
int fileShmLock(sqlite3_file* file, int offset, int n, int flags) {
  return inner(file)->pMethods->xShmLock(inner(file), offset, n, flags);
}
void fileShmBarrier(sqlite3_file* file) { inner(file)->pMethods->xShmBarrier(inner(file)); }
int fileShmUnmap(sqlite3_file* file, int remove) {
  return inner(file)->pMethods->xShmUnmap(inner(file), remove);
}
int fileFetch(sqlite3_file* file, sqlite3_int64 offset, int size, void** out) {
  return inner(file)->pMethods->xFetch(inner(file), offset, size, out);
}
int fileUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  return inner(file)->pMethods->xUnfetch(inner(file), offset, page);
}

int vfsOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  auto* routed = reinterpret_cast<RoutedFile*>(file);
  routed->base.pMethods = nullptr;
  routed->inner = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kInnerOffset);
  routed->inner->pMethods = nullptr;
  lastOpened = -1;
  const int rc = innerVfs->xOpen(innerVfs, name, routed->inner, flags, outFlags);
  // An open that reused a descriptor the unix VFS kept has no routed open:
  // such a file syncs as the unix VFS does, without the table.
  routed->fd = lastOpened;
  if (routed->inner->pMethods) routed->base.pMethods = &routedMethods;
  return rc;
}

int vfsDelete(sqlite3_vfs*, const char* name, int syncFolder) {
  return innerVfs->xDelete(innerVfs, name, syncFolder);
}
int vfsAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
  return innerVfs->xAccess(innerVfs, name, flags, out);
}
int vfsFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return innerVfs->xFullPathname(innerVfs, name, size, out);
}

bool registerVfs() {
  innerVfs = sqlite3_vfs_find("unix");
  if (!innerVfs || innerVfs->iVersion < 3 || !innerVfs->xSetSystemCall) return false;
  const struct {
    const char* name;
    sqlite3_syscall_ptr call;
  } routedCalls[] = {
      {"open", reinterpret_cast<sqlite3_syscall_ptr>(routedOpen)},
      {"write", reinterpret_cast<sqlite3_syscall_ptr>(routedWrite)},
      {"pwrite", reinterpret_cast<sqlite3_syscall_ptr>(routedPwrite)},
      {"pwrite64", reinterpret_cast<sqlite3_syscall_ptr>(routedPwrite)},
      {"ftruncate", reinterpret_cast<sqlite3_syscall_ptr>(routedFtruncate)},
      {"unlink", reinterpret_cast<sqlite3_syscall_ptr>(routedUnlink)},
      {"mkdir", reinterpret_cast<sqlite3_syscall_ptr>(routedMkdir)},
      {"rmdir", reinterpret_cast<sqlite3_syscall_ptr>(routedRmdir)},
  };
  for (const auto& entry : routedCalls) {
    // A build without one of them (pwrite64 where off_t is 64 bits) has
    // nothing to route there.
    innerVfs->xSetSystemCall(innerVfs, entry.name, entry.call);
  }

  routedMethods.iVersion = 3;
  routedMethods.xClose = fileClose;
  routedMethods.xRead = fileRead;
  routedMethods.xWrite = fileWrite;
  routedMethods.xTruncate = fileTruncate;
  routedMethods.xSync = fileSync;
  routedMethods.xFileSize = fileSize;
  routedMethods.xLock = fileLock;
  routedMethods.xUnlock = fileUnlock;
  routedMethods.xCheckReservedLock = fileCheckLock;
  routedMethods.xFileControl = fileControl;
  routedMethods.xSectorSize = fileSectorSize;
  routedMethods.xDeviceCharacteristics = fileDevice;
  routedMethods.xShmMap = fileShmMap;
  routedMethods.xShmLock = fileShmLock;
  routedMethods.xShmBarrier = fileShmBarrier;
  routedMethods.xShmUnmap = fileShmUnmap;
  routedMethods.xFetch = fileFetch;
  routedMethods.xUnfetch = fileUnfetch;

  routedVfs = *innerVfs;
  routedVfs.zName = kVfsName;
  routedVfs.szOsFile = static_cast<int>(kInnerOffset) + innerVfs->szOsFile;
  routedVfs.pNext = nullptr;
  routedVfs.xOpen = vfsOpen;
  routedVfs.xDelete = vfsDelete;
  routedVfs.xAccess = vfsAccess;
  routedVfs.xFullPathname = vfsFullPathname;
  // Randomness, sleep, time, dlopen and the system-call table stay the unix
  // VFS's: its functions take no notice of which VFS they are called for.
  return sqlite3_vfs_register(&routedVfs, 0) == SQLITE_OK;
}

}  // namespace

const char* sqliteVfsName() {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [] { registered = registerVfs(); });
  return registered ? kVfsName : nullptr;
}

}  // namespace zorel::platform
