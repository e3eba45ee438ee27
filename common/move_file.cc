// Moving the merged result onto the user's file.
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "support.h"

namespace {

// Copies `from` into the existing or new file `to`, which keeps its inode,
// owner and permissions, then removes `from`.
void copy_across(const char* from, const char* to) {
  FILE* source = open_for_reading(from);
  FILE* destination = open_for_writing(to);
  struct stat status;
  if (fstat(fileno(source), &status) != 0) {
    fatal(FATAL_ERRNO, _("stat %s"), from);
  }
  const size_t block = static_cast<size_t>(status.st_blksize);
  char* buffer = static_cast<char*>(alloc_or_die(block));
  off_t remaining = status.st_size;
  while (remaining > 0) {
    const size_t chunk = remaining < static_cast<off_t>(block)
                             ? static_cast<size_t>(remaining)
                             : block;
    if (fread(buffer, 1, chunk, source) != chunk) {
      fatal(FATAL_ERRNO, _("read from %s"), from);
    }
    if (fwrite(buffer, 1, chunk, destination) != chunk) {
      fatal(FATAL_ERRNO, _("write to %s"), to);
    }
    remaining -= static_cast<off_t>(chunk);
  }
  free(buffer);
  close_stream(destination);
  close_stream(source);
  remove_file(from);
}

}  // namespace

void move_file(const char* from, const char* to) {
  // A rename onto a symbolic link would replace the link itself; the file it
  // points to is the one to change.
  struct stat status;
  char* resolved = nullptr;
  if (lstat(to, &status) == 0 && S_ISLNK(status.st_mode)) {
    resolved = static_cast<char*>(alloc_or_die(PATH_MAX));
    if (realpath(to, resolved) == nullptr) {
      fatal(FATAL_ERRNO, _("resolve symbolic link %s"), to);
    }
    to = resolved;
  }
  // The result file was made private; the user's file keeps its own mode.
  if (stat(to, &status) == 0 && chmod(from, status.st_mode & 07777) != 0) {
    fatal(FATAL_ERRNO, _("chmod %s"), from);
  }
  if (rename(from, to) == 0) {
    return;
  }
  if (errno != EXDEV) {
    fatal(FATAL_ERRNO, _("rename %s %s"), from, to);
  }
  copy_across(from, to);
}
