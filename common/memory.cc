// Allocation that ends the run when memory runs out.
#include <stdlib.h>

#include "support.h"

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
