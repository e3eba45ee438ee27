// The one way to fail, allocation that fails through it, and the version
// line.
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

void print_version() {
  if (printf("%s (textmend) 0.7\n", tool_name) < 0 || fflush(stdout) != 0) {
    fatal(FATAL_ERRNO, _("writing file"));
  }
  exit(0);
}

void* alloc_or_die(size_t size) {
  void* block = malloc(size);
  if (block == nullptr) {
    fatal(0, _("could not allocate memory"));
  }
  return block;
}

void* realloc_or_die(void* block, size_t size) {
  if (block == nullptr) {
    return alloc_or_die(size);
  }
  void* resized = realloc(block, size);
  if (resized == nullptr && size != 0) {
    fatal(0, _("could not allocate memory"));
  }
  return resized;
}
