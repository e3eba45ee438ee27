// The one way to fail.
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "support.h"

void fatal(int flags, const char* format, ...) {
  const int saved_errno = errno;
  const char* label =
      (flags & FATAL_IN_CHILD) != 0 ? _("error in child process") : _("error");
  fprintf(stderr, "%s: %s: ", tool_name, label);
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
  if ((flags & FATAL_ERRNO) != 0) {
    fprintf(stderr, ": %s", strerror(saved_errno));
  }
  fputs(".\n", stderr);
  if ((flags & FATAL_IN_CHILD) != 0) {
    _exit(128);  // the stdio buffers belong to the parent
  }
  exit(1);
}
