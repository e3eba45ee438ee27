// Allocation that ends the run when memory runs out, and the version line.
#include <stdlib.h>

#include "support.h"

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
