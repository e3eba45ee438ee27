// The one way to fail.
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "support.h"

namespace {

void (*before_failing)(void*) = nullptr;
void* before_failing_context = nullptr;

}  // namespace

void call_before_failing(void (*check)(void*), void* context) {
  before_failing = check;
  before_failing_context = context;
}

void fatal(int flags, const char* format, ...) {
  const int saved_errno = errno;
  if (before_failing != nullptr && (flags & FATAL_IN_CHILD) == 0) {
    void (*check)(void*) = before_failing;
    before_failing = nullptr;
    check(before_failing_context);
  }
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
