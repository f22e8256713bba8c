// Loaded with LD_PRELOAD by the platform tests to play a network file system's client
// that has no hard links, no RENAME_NOREPLACE and no unnamed files, answering as the FUSE
// SMB client does: link EPERM, renameat2 with flags EINVAL, O_TMPFILE EOPNOTSUPP. Plain
// renames and everything else go through; with VELLORIA_SHIM_NO_MOVES set, a rename into
// another folder answers EXDEV, as a client that only renames within a folder does.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int link(const char* from, const char* to) {
  (void)from, (void)to;
  errno = EPERM;
  return -1;
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
  (void)fromFolder, (void)from, (void)toFolder, (void)to, (void)flags;
  errno = EPERM;
  return -1;
}

// The folder part of `path`, up to its last '/', into `folder` ("" for none).
static void FolderOf(const char* path, char* folder, size_t size) {
  const char* slash = strrchr(path, '/');
  size_t length = slash ? (size_t)(slash - path) : 0;
  if (length >= size) length = size - 1;
  memcpy(folder, path, length);
  folder[length] = 0;
}

typedef int (*RenameFunction)(const char*, const char*);

int rename(const char* from, const char* to) {
  if (getenv("VELLORIA_SHIM_NO_MOVES")) {
    char fromFolder[4096], toFolder[4096];
    FolderOf(from, fromFolder, sizeof fromFolder);
    FolderOf(to, toFolder, sizeof toFolder);
    if (strcmp(fromFolder, toFolder) != 0) {
      errno = EXDEV;
      return -1;
    }
  }
  RenameFunction next = (RenameFunction)dlsym(RTLD_NEXT, "rename");
  return next(from, to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  if (flags != 0) {
    errno = EINVAL;
    return -1;
  }
  return renameat(fromFolder, from, toFolder, to);
}

typedef int (*OpenFunction)(const char*, int, ...);

static int OpenThrough(const char* name, const char* path, int flags, mode_t mode) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  OpenFunction next = (OpenFunction)dlsym(RTLD_NEXT, name);
  return next(path, flags, mode);
}

// The mode argument is there only with O_CREAT or O_TMPFILE.
#define MODE_ARGUMENT(flags, mode)                                  \
  do {                                                              \
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {    \
      va_list arguments;                                            \
      va_start(arguments, flags);                                   \
      mode = va_arg(arguments, mode_t);                             \
      va_end(arguments);                                            \
    }                                                               \
  } while (0)

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARGUMENT(flags, mode);
  return OpenThrough("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARGUMENT(flags, mode);
  return OpenThrough("open64", path, flags, mode);
}
