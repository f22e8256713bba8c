// A simulated network share for a whole program, loaded with LD_PRELOAD: every libc call
// that names a path under VELLORIA_SHARE_FOLDER, or acts on a descriptor opened there,
// waits VELLORIA_SHARE_DELAY_US microseconds (default 200, a LAN round trip) and is
// counted, as a file server would answer it. At exit the counts go to the file
// VELLORIA_SHARE_COUNTS (appended, one line) or to standard error, split between the
// table's files (.dbf, .dbt, .fpt, .ntx and the engine's side files) and everything else
// (folders, documents). Calls that stay on the client are not counted: fcntl other than
// locks, munmap, descriptor duplication. A directory read is counted once per 32 KiB of
// entries, the size of one directory request. For benchmarks only.
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum Group { kNone, kTable, kOther, kGroups };
enum Kind { kOpen, kRead, kWrite, kSize, kMap, kLock, kKinds };
static const char* const kKindNames[kKinds] = {"opens", "reads", "writes",
                                               "sizes", "maps",  "locks"};
static const char* const kGroupNames[kGroups] = {"", "table", "other"};

enum { kMaxFd = 65536, kDirBatch = 32768 };

static char g_folder[PATH_MAX];
static size_t g_folder_length;
static long g_delay_us = 200;
static atomic_long g_counts[kGroups][kKinds];
static _Atomic unsigned char g_fd_group[kMaxFd];

// Directory streams opened on the share and the entry bytes read since the last request.
enum { kMaxDirs = 64 };
static struct {
  DIR* _Atomic dir;
  unsigned char group;
  long bytes;
} g_dirs[kMaxDirs];

// The next definition of a wrapped function (libc's), looked up once.
#define REAL(name)                                                                     \
  ({                                                                                   \
    static __typeof__(&name) next_##name;                                              \
    if (next_##name == NULL) next_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name); \
    next_##name;                                                                       \
  })

static void Wait(void) {
  if (g_delay_us <= 0) return;
  struct timespec ts = {g_delay_us / 1000000, (g_delay_us % 1000000) * 1000};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

static void Count(enum Group group, enum Kind kind) {
  if (group == kNone) return;
  atomic_fetch_add(&g_counts[group][kind], 1);
  Wait();
}

static int IsTableFile(const char* path) {
  static const char* const kSuffixes[] = {".dbf", ".dbt", ".fpt", ".ntx", "-journal", ".tmp"};
  size_t length = strlen(path);
  for (size_t i = 0; i < sizeof kSuffixes / sizeof *kSuffixes; ++i) {
    size_t n = strlen(kSuffixes[i]);
    if (length >= n && strcasecmp(path + length - n, kSuffixes[i]) == 0) return 1;
  }
  return 0;
}

// The group of a path relative to dirfd (AT_FDCWD for the working folder).
static enum Group GroupOfAt(int dirfd, const char* path) {
  if (g_folder_length == 0 || path == NULL) return kNone;
  char absolute[PATH_MAX];
  if (path[0] != '/') {
    if (dirfd != AT_FDCWD) {
      return dirfd >= 0 && dirfd < kMaxFd && g_fd_group[dirfd] != kNone
                 ? (IsTableFile(path) ? kTable : kOther)
                 : kNone;
    }
    if (getcwd(absolute, sizeof absolute) == NULL) return kNone;
    size_t used = strlen(absolute);
    snprintf(absolute + used, sizeof absolute - used, "/%s", path);
    path = absolute;
  }
  if (strncmp(path, g_folder, g_folder_length) != 0) return kNone;
  if (path[g_folder_length] != '/' && path[g_folder_length] != '\0') return kNone;
  return IsTableFile(path) ? kTable : kOther;
}

static enum Group GroupOf(const char* path) { return GroupOfAt(AT_FDCWD, path); }

static enum Group FdGroup(int fd) {
  return fd >= 0 && fd < kMaxFd ? (enum Group)g_fd_group[fd] : kNone;
}

static void Remember(int fd, enum Group group) {
  if (fd >= 0 && fd < kMaxFd) g_fd_group[fd] = (unsigned char)group;
}

static void Report(void) {
  if (g_folder_length == 0) return;
  const char* target = getenv("VELLORIA_SHARE_COUNTS");
  FILE* out = target != NULL ? fopen(target, "a") : stderr;
  if (out == NULL) return;
  for (int group = kTable; group < kGroups; ++group) {
    fprintf(out, "%s", kGroupNames[group]);
    for (int kind = 0; kind < kKinds; ++kind) {
      fprintf(out, " %s=%ld", kKindNames[kind], atomic_load(&g_counts[group][kind]));
    }
    fprintf(out, "%s", group + 1 < kGroups ? "  " : "\n");
  }
  if (out != stderr) fclose(out);
}

__attribute__((constructor)) static void Start(void) {
  const char* folder = getenv("VELLORIA_SHARE_FOLDER");
  if (folder == NULL || realpath(folder, g_folder) == NULL) return;
  g_folder_length = strlen(g_folder);
  const char* delay = getenv("VELLORIA_SHARE_DELAY_US");
  if (delay != NULL) g_delay_us = atol(delay);
  // The default timer slack (50 us) would stretch every delay by a quarter.
  prctl(PR_SET_TIMERSLACK, 1UL);
  atexit(Report);
}

// A wrapper that counts one call of `kind` on `group` and calls libc.
#define WRAPPER(type, name, params, args, group, kind) \
  type name params {                                   \
    Count(group, kind);                                \
    return REAL(name) args;                            \
  }

// Opening.

static int HasMode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

static int Opened(int fd, enum Group group) {
  if (fd >= 0) Remember(fd, group);
  return fd;
}

// The mode an open that creates takes from the caller's further arguments (0 otherwise).
#define MODE_ARGUMENT(flags, mode) \
  mode_t mode = 0;                 \
  if (HasMode(flags)) {            \
    va_list args;                  \
    va_start(args, flags);         \
    mode = va_arg(args, mode_t);   \
    va_end(args);                  \
  }

#define OPEN_WRAPPER(name)                               \
  int name(const char* path, int flags, ...) {           \
    MODE_ARGUMENT(flags, mode)                           \
    enum Group group = GroupOf(path);                    \
    Count(group, kOpen);                                 \
    return Opened(REAL(name)(path, flags, mode), group); \
  }
OPEN_WRAPPER(open)
OPEN_WRAPPER(open64)
#undef OPEN_WRAPPER

#define OPENAT_WRAPPER(name)                                    \
  int name(int dirfd, const char* path, int flags, ...) {       \
    MODE_ARGUMENT(flags, mode)                                  \
    enum Group group = GroupOfAt(dirfd, path);                  \
    Count(group, kOpen);                                        \
    return Opened(REAL(name)(dirfd, path, flags, mode), group); \
  }
OPENAT_WRAPPER(openat)
OPENAT_WRAPPER(openat64)
#undef OPENAT_WRAPPER

int __open_2(const char* path, int flags) {
  enum Group group = GroupOf(path);
  Count(group, kOpen);
  return Opened(REAL(open)(path, flags), group);
}
int __open64_2(const char* path, int flags) { return __open_2(path, flags); }
int __openat_2(int dirfd, const char* path, int flags) {
  enum Group group = GroupOfAt(dirfd, path);
  Count(group, kOpen);
  return Opened(REAL(openat)(dirfd, path, flags), group);
}
int __openat64_2(int dirfd, const char* path, int flags) { return __openat_2(dirfd, path, flags); }

FILE* fopen(const char* path, const char* mode) {
  enum Group group = GroupOf(path);
  Count(group, kOpen);
  FILE* file = REAL(fopen)(path, mode);
  if (file != NULL) Remember(fileno(file), group);
  return file;
}
FILE* fopen64(const char* path, const char* mode) { return fopen(path, mode); }

int close(int fd) {
  Count(FdGroup(fd), kOpen);
  Remember(fd, kNone);
  return REAL(close)(fd);
}

int fclose(FILE* file) {
  int fd = fileno(file);
  Count(FdGroup(fd), kOpen);
  Remember(fd, kNone);
  return REAL(fclose)(file);
}

int dup(int fd) { return Opened(REAL(dup)(fd), FdGroup(fd)); }
int dup2(int fd, int to) { return Opened(REAL(dup2)(fd, to), FdGroup(fd)); }
int dup3(int fd, int to, int flags) { return Opened(REAL(dup3)(fd, to, flags), FdGroup(fd)); }

// Reading and writing.

WRAPPER(ssize_t, read, (int fd, void* buffer, size_t size), (fd, buffer, size), FdGroup(fd), kRead)
WRAPPER(ssize_t, pread, (int fd, void* buffer, size_t size, off_t offset),
        (fd, buffer, size, offset), FdGroup(fd), kRead)
WRAPPER(ssize_t, pread64, (int fd, void* buffer, size_t size, off64_t offset),
        (fd, buffer, size, offset), FdGroup(fd), kRead)
WRAPPER(ssize_t, write, (int fd, const void* buffer, size_t size), (fd, buffer, size), FdGroup(fd),
        kWrite)
WRAPPER(ssize_t, pwrite, (int fd, const void* buffer, size_t size, off_t offset),
        (fd, buffer, size, offset), FdGroup(fd), kWrite)
WRAPPER(ssize_t, pwrite64, (int fd, const void* buffer, size_t size, off64_t offset),
        (fd, buffer, size, offset), FdGroup(fd), kWrite)
WRAPPER(int, fsync, (int fd), (fd), FdGroup(fd), kWrite)
WRAPPER(int, fdatasync, (int fd), (fd), FdGroup(fd), kWrite)
WRAPPER(int, ftruncate, (int fd, off_t size), (fd, size), FdGroup(fd), kWrite)
WRAPPER(int, ftruncate64, (int fd, off64_t size), (fd, size), FdGroup(fd), kWrite)

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  if ((flags & MAP_ANONYMOUS) == 0) Count(FdGroup(fd), kMap);
  return REAL(mmap)(address, length, protection, flags, fd, offset);
}
void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
  if ((flags & MAP_ANONYMOUS) == 0) Count(FdGroup(fd), kMap);
  return REAL(mmap64)(address, length, protection, flags, fd, offset);
}

// Locks: record locks through fcntl and whole-file locks through flock.

static int IsLockCommand(int command) {
  switch (command) {
    case F_SETLK:
    case F_SETLKW:
    case F_GETLK:
    case F_OFD_SETLK:
    case F_OFD_SETLKW:
    case F_OFD_GETLK:
      return 1;
    default:
      return 0;
  }
}

#define FCNTL_WRAPPER(name)                                                            \
  int name(int fd, int command, ...) {                                                 \
    va_list args;                                                                      \
    va_start(args, command);                                                           \
    void* argument = va_arg(args, void*);                                              \
    va_end(args);                                                                      \
    if (IsLockCommand(command)) Count(FdGroup(fd), kLock);                             \
    int result = REAL(name)(fd, command, argument);                                    \
    if (command == F_DUPFD || command == F_DUPFD_CLOEXEC) Opened(result, FdGroup(fd)); \
    return result;                                                                     \
  }
FCNTL_WRAPPER(fcntl)
FCNTL_WRAPPER(fcntl64)
#undef FCNTL_WRAPPER

WRAPPER(int, flock, (int fd, int operation), (fd, operation), FdGroup(fd), kLock)

// File status.

WRAPPER(int, fstat, (int fd, struct stat* st), (fd, st), FdGroup(fd), kSize)
WRAPPER(int, fstat64, (int fd, struct stat64* st), (fd, st), FdGroup(fd), kSize)
WRAPPER(int, stat, (const char* path, struct stat* st), (path, st), GroupOf(path), kOpen)
WRAPPER(int, stat64, (const char* path, struct stat64* st), (path, st), GroupOf(path), kOpen)
WRAPPER(int, lstat, (const char* path, struct stat* st), (path, st), GroupOf(path), kOpen)
WRAPPER(int, lstat64, (const char* path, struct stat64* st), (path, st), GroupOf(path), kOpen)
// fstatat with an empty path and AT_EMPTY_PATH asks about dirfd itself.
static enum Group StatAtGroup(int dirfd, const char* path, int flags) {
  if ((flags & AT_EMPTY_PATH) != 0 && path != NULL && path[0] == '\0') return FdGroup(dirfd);
  return GroupOfAt(dirfd, path);
}
WRAPPER(int, fstatat, (int dirfd, const char* path, struct stat* st, int flags),
        (dirfd, path, st, flags), StatAtGroup(dirfd, path, flags), kOpen)
WRAPPER(int, fstatat64, (int dirfd, const char* path, struct stat64* st, int flags),
        (dirfd, path, st, flags), StatAtGroup(dirfd, path, flags), kOpen)
WRAPPER(int, statx, (int dirfd, const char* path, int flags, unsigned int mask, struct statx* st),
        (dirfd, path, flags, mask, st), StatAtGroup(dirfd, path, flags), kOpen)
WRAPPER(int, access, (const char* path, int mode), (path, mode), GroupOf(path), kOpen)
WRAPPER(int, faccessat, (int dirfd, const char* path, int mode, int flags),
        (dirfd, path, mode, flags), GroupOfAt(dirfd, path), kOpen)
WRAPPER(ssize_t, readlink, (const char* path, char* buffer, size_t size), (path, buffer, size),
        GroupOf(path), kOpen)
WRAPPER(int, rename, (const char* from, const char* to), (from, to), GroupOf(from), kOpen)
WRAPPER(int, unlink, (const char* path), (path), GroupOf(path), kOpen)

// Folders: an open, one read per batch of entries, a close.

static void TrackDir(DIR* dir, enum Group group) {
  if (dir == NULL || group == kNone) return;
  for (int i = 0; i < kMaxDirs; ++i) {
    DIR* expected = NULL;
    if (atomic_compare_exchange_strong(&g_dirs[i].dir, &expected, dir)) {
      g_dirs[i].group = (unsigned char)group;
      g_dirs[i].bytes = kDirBatch;  // the first readdir makes the first request
      return;
    }
  }
}

static int TrackedDir(DIR* dir) {
  for (int i = 0; i < kMaxDirs; ++i) {
    if (atomic_load(&g_dirs[i].dir) == dir) return i;
  }
  return -1;
}

DIR* opendir(const char* path) {
  enum Group group = GroupOf(path);
  Count(group, kOpen);
  DIR* dir = REAL(opendir)(path);
  TrackDir(dir, group);
  return dir;
}

DIR* fdopendir(int fd) {
  DIR* dir = REAL(fdopendir)(fd);
  TrackDir(dir, FdGroup(fd));
  return dir;
}

static void CountEntry(DIR* dir, size_t record_length) {
  int i = TrackedDir(dir);
  if (i < 0) return;
  if (g_dirs[i].bytes >= kDirBatch) {
    g_dirs[i].bytes = 0;
    Count((enum Group)g_dirs[i].group, kRead);
  }
  g_dirs[i].bytes += (long)record_length;
}

struct dirent* readdir(DIR* dir) {
  struct dirent* entry = REAL(readdir)(dir);
  CountEntry(dir, entry != NULL ? entry->d_reclen : 0);
  return entry;
}

struct dirent64* readdir64(DIR* dir) {
  struct dirent64* entry = REAL(readdir64)(dir);
  CountEntry(dir, entry != NULL ? entry->d_reclen : 0);
  return entry;
}

int closedir(DIR* dir) {
  int i = TrackedDir(dir);
  if (i >= 0) {
    Remember(dirfd(dir), kNone);
    Count((enum Group)g_dirs[i].group, kOpen);
    atomic_store(&g_dirs[i].dir, NULL);
  }
  return REAL(closedir)(dir);
}
