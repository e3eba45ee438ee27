// The user's file: looked at once before it is opened, and checked later to
// be the same file with the same contents.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

namespace {

// The directory part of the absolute path `path`.
char* directory_of(const char* path) {
  const char* slash = strrchr(path, '/');
  const size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
  char* directory = static_cast<char*>(alloc_or_die(length + 1));
  memcpy(directory, path, length);
  directory[length] = '\0';
  return directory;
}

// Whether the tool may replace the file `status` in `directory`: it needs
// to create a file there and rename it onto the target. In a directory with
// the sticky bit, only the owner of the file or of the directory (or root)
// may replace a file.
void check_replaceable(const char* name, const char* directory,
                       const struct stat& status) {
  if (faccessat(AT_FDCWD, directory, W_OK | X_OK, AT_EACCESS) != 0) {
    fatal(FATAL_ERRNO, _("cannot replace %s in its directory"), name);
  }
  struct stat directory_status;
  if (stat(directory, &directory_status) != 0) {
    fatal(FATAL_ERRNO, _("stat %s"), directory);
  }
  const uid_t user = geteuid();
  if ((directory_status.st_mode & S_ISVTX) != 0 && user != 0 &&
      user != status.st_uid && user != directory_status.st_uid) {
    errno = EPERM;
    fatal(FATAL_ERRNO, _("cannot replace %s in its directory"), name);
  }
}

}  // namespace

namespace {

// Looks at `name` once: resolves it and refuses what cannot be replaced.
target_file look_at(const char* name) {
  target_file target = {};
  target.name = name;
  char* path = static_cast<char*>(alloc_or_die(PATH_MAX));
  if (realpath(name, path) == nullptr) {
    fatal(FATAL_ERRNO, _("open %s for reading"), name);
  }
  target.path = path;
  if (stat(path, &target.status) != 0) {
    fatal(FATAL_ERRNO, _("open %s for reading"), name);
  }
  // Opening a FIFO would block, and none of these can be replaced by a
  // rename without losing what they are.
  if (!S_ISREG(target.status.st_mode)) {
    fatal(0, _("%s is not a regular file"), name);
  }
  target.directory = directory_of(path);
  check_replaceable(name, target.directory, target.status);
  return target;
}

// Opens the file looked at for reading; returns -1 if what is there now is
// another file, or the file with other contents.
int open_examined(const target_file& target) {
  // O_NONBLOCK: should a FIFO have taken the file's place, the open does not
  // hang; the check below then finds another file.
  const int fd =
      open(target.path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    fatal(FATAL_ERRNO, _("open %s for reading"), target.name);
  }
  struct stat status;
  if (fstat(fd, &status) != 0) {
    fatal(FATAL_ERRNO, _("stat %s"), target.name);
  }
  if (!same_as_examined(target, status)) {
    close(fd);
    return -1;
  }
  if (fcntl(fd, F_SETFL, 0) != 0) {
    fatal(FATAL_ERRNO, _("open %s for reading"), target.name);
  }
  return fd;
}

FILE* stream_on(int fd, const target_file& target) {
  FILE* stream = fdopen(fd, "r");
  if (stream == nullptr) {
    fatal(FATAL_ERRNO, _("open %s for reading"), target.name);
  }
  prepare_stream(stream);
  return stream;
}

}  // namespace

target_file examine_target(const char* name, FILE** input, FILE** reread) {
  // Another program may replace the file while it is looked at and opened;
  // nothing has been done yet, so it is simply looked at again.
  for (int attempt = 1;; attempt++) {
    target_file target = look_at(name);
    if (input == nullptr) {
      return target;
    }
    const int first = open_examined(target);
    const int second = first < 0 ? -1 : open_examined(target);
    if (second >= 0) {
      *input = stream_on(first, target);
      *reread = stream_on(second, target);
      return target;
    }
    if (first >= 0) {
      close(first);
    }
    free(const_cast<char*>(target.path));
    free(const_cast<char*>(target.directory));
    if (attempt == 3) {
      fatal(0, _("%s changed before it could be read"), name);
    }
  }
}

bool target_unchanged(const target_file& target) {
  // lstat: a symbolic link put in the file's place is a change as well.
  struct stat now;
  return lstat(target.path, &now) == 0 && same_as_examined(target, now);
}

bool same_as_examined(const target_file& target, const struct stat& now) {
  const struct stat& then = target.status;
  return now.st_dev == then.st_dev && now.st_ino == then.st_ino &&
         now.st_size == then.st_size &&
         now.st_mtim.tv_sec == then.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == then.st_mtim.tv_nsec;
}

void report_target_changed(const target_file& target, const char* kept,
                           bool merged) {
  if (merged) {
    fatal(0, _("%s changed during the run; the merged result is kept in %s"),
          target.name, kept);
  }
  fatal(0, _("%s changed during the run; the edited work text is kept in %s"),
        target.name, kept);
}
