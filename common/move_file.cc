// Putting the merged result in place of the user's file in one rename.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "support.h"

namespace {

// The file that is to take the target's place, beside the target.
struct replacement {
  const char* from;  // the result in the temporary directory
  char* name;        // in the target's directory
  int fd;            // open on the replacement
  bool copied;       // a copy of `from`, not `from` itself moved here
};

// Undoes what the move has done so far before a failure is reported, so
// that the complete result is back in the temporary directory and nothing
// is left beside the target. Keeps errno for the report.
void abandon(const replacement& r) {
  const int saved = errno;
  if (r.copied) {
    unlink(r.name);
  } else {
    rename(r.name, r.from);
  }
  errno = saved;
}

// Makes a new empty file, readable and writable by the user alone, beside
// the target.
replacement make_replacement(const char* from, const target_file& target) {
  replacement r = {from, nullptr, -1, true};
  const size_t size = strlen(target.directory) + sizeof "/textmend-XXXXXX";
  r.name = static_cast<char*>(alloc_or_die(size));
  snprintf(r.name, size, "%s/textmend-XXXXXX", target.directory);
  r.fd = mkostemp(r.name, O_CLOEXEC);
  if (r.fd < 0) {
    fatal(FATAL_ERRNO, _("cannot replace %s in its directory"), target.name);
  }
  return r;
}

// Copies all of `source`, the result, into the replacement.
void copy_into(int source, const replacement& r, const target_file& target) {
  constexpr size_t block_size = 128 * 1024;
  char* block = static_cast<char*>(alloc_or_die(block_size));
  for (;;) {
    const ssize_t got = read(source, block, block_size);
    if (got < 0) {
      abandon(r);
      fatal(FATAL_ERRNO, _("read from %s"), r.from);
    }
    if (got == 0) {
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t written =
          write(r.fd, block + done, static_cast<size_t>(got - done));
      if (written < 0) {
        abandon(r);
        fatal(FATAL_ERRNO, _("copy %s to the directory of %s"), r.from,
              target.name);
      }
      done += written;
    }
  }
  free(block);
}

bool not_supported(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP;
}

// Gives the replacement the extended attributes of the target, POSIX ACLs
// among them, where the file systems have them. An attribute that a user
// who is not root may not set is left out, as an owner is.
void copy_attributes(const target_file& target, const replacement& r) {
  ssize_t size = llistxattr(target.path, nullptr, 0);
  char* names = nullptr;
  if (size > 0) {
    names = static_cast<char*>(alloc_or_die(static_cast<size_t>(size)));
    size = llistxattr(target.path, names, static_cast<size_t>(size));
  }
  if (size < 0 && !not_supported(errno)) {
    abandon(r);
    fatal(FATAL_ERRNO, _("copy the extended attributes of %s"), target.name);
  }
  char* value = nullptr;
  for (const char* at = names; size > 0 && at < names + size;
       at += strlen(at) + 1) {
    const ssize_t length = lgetxattr(target.path, at, nullptr, 0);
    if (length < 0) {
      continue;  // gone meanwhile, or not the user's to read
    }
    value = static_cast<char*>(
        realloc_or_die(value, static_cast<size_t>(length) + 1));
    const ssize_t got =
        lgetxattr(target.path, at, value, static_cast<size_t>(length));
    if (got >= 0 &&
        fsetxattr(r.fd, at, value, static_cast<size_t>(got), 0) != 0 &&
        !not_supported(errno) && !(errno == EPERM && geteuid() != 0)) {
      abandon(r);
      fatal(FATAL_ERRNO, _("copy the extended attributes of %s"), target.name);
    }
  }
  free(value);
  free(names);
}

// Gives the replacement the target's owner and group, extended attributes
// and permission bits, in this order, since a change of owner clears the
// set-user-ID and set-group-ID bits. A user who is not root may not give a
// file away: the replacement then keeps at least the group where the user
// belongs to it.
void take_over_attributes(const target_file& target, const replacement& r) {
  const struct stat& status = target.status;
  if (fchown(r.fd, status.st_uid, status.st_gid) != 0) {
    if (geteuid() == 0) {
      abandon(r);
      fatal(FATAL_ERRNO, _("chown %s"), target.name);
    }
    (void)fchown(r.fd, static_cast<uid_t>(-1), status.st_gid);
  }
  copy_attributes(target, r);
  if (fchmod(r.fd, status.st_mode & 07777) != 0) {
    abandon(r);
    fatal(FATAL_ERRNO, _("chmod %s"), target.name);
  }
}

// The last step: the replacement takes the target's name. Where the file
// system can exchange two names in one step, it does, and then looks at
// what it displaced: anything but the file first looked at (another run
// got there first, someone saved it) is put back, so no two runs can
// overwrite each other's result. Elsewhere the target is checked just
// before a plain rename.
void put_in_place(const target_file& target, replacement& r) {
  if (renameat2(AT_FDCWD, r.name, AT_FDCWD, target.path, RENAME_EXCHANGE) ==
      0) {
    struct stat displaced;
    if (lstat(r.name, &displaced) != 0 ||
        !same_as_examined(target, displaced)) {
      renameat2(AT_FDCWD, r.name, AT_FDCWD, target.path, RENAME_EXCHANGE);
      abandon(r);
      report_target_changed(target, r.from, true);
    }
    if (unlink(r.name) != 0) {
      fatal(FATAL_ERRNO, _("unlink %s"), r.name);
    }
    return;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    abandon(r);
    fatal(FATAL_ERRNO, _("rename %s %s"), r.from, target.name);
  }
  if (!target_unchanged(target)) {
    abandon(r);
    report_target_changed(target, r.from, true);
  }
  if (rename(r.name, target.path) != 0) {
    abandon(r);
    fatal(FATAL_ERRNO, _("rename %s %s"), r.from, target.name);
  }
}

}  // namespace

void move_file(const char* from, const target_file& target) {
  replacement r = make_replacement(from, target);
  // Same file system: the result itself moves beside the target, onto the
  // name just made; `fd` follows it. Otherwise it is copied there. Either
  // way the user's file is untouched until the last rename.
  const int result = open(from, O_RDONLY | O_CLOEXEC);
  if (result < 0) {
    abandon(r);
    fatal(FATAL_ERRNO, _("open %s for reading"), from);
  }
  if (rename(from, r.name) == 0) {
    r.copied = false;
    if (close(r.fd) != 0) {
      abandon(r);
      fatal(FATAL_ERRNO, _("closing file"));
    }
    r.fd = result;
  } else if (errno == EXDEV) {
    copy_into(result, r, target);
    if (close(result) != 0) {
      abandon(r);
      fatal(FATAL_ERRNO, _("closing file"));
    }
  } else {
    abandon(r);
    fatal(FATAL_ERRNO, _("rename %s %s"), from, r.name);
  }
  take_over_attributes(target, r);
  if (close(r.fd) != 0) {
    abandon(r);
    fatal(FATAL_ERRNO, _("copy %s to the directory of %s"), from, target.name);
  }
  put_in_place(target, r);
  if (r.copied) {
    remove_file(from);
  }
}
