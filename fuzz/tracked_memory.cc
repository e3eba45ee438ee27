// Heap blocks of the code under test, tracked so that a harness can free
// the line buffers that a failure leaves behind (the real tool ends the
// process instead) and can tell that a conversion that succeeded freed all
// of its own. The fuzzing build compiles the conversions with malloc,
// realloc and free renamed to these.
#include <stdlib.h>

#include <unordered_set>

#include "harness.h"

namespace {

std::unordered_set<void*>& live_blocks() {
  static auto* blocks = new std::unordered_set<void*>;
  return *blocks;
}

}  // namespace

extern "C" void* tracked_malloc(size_t size) noexcept {
  void* block = malloc(size);
  if (block != nullptr) {
    live_blocks().insert(block);
  }
  return block;
}

extern "C" void* tracked_realloc(void* block, size_t size) noexcept {
  void* resized = realloc(block, size);
  if (resized != nullptr || size == 0) {
    live_blocks().erase(block);
  }
  if (resized != nullptr) {
    live_blocks().insert(resized);
  }
  return resized;
}

extern "C" void tracked_free(void* block) noexcept {
  live_blocks().erase(block);
  free(block);
}

size_t tracked_blocks() {
  return live_blocks().size();
}

void free_tracked_blocks() {
  for (void* block : live_blocks()) {
    free(block);
  }
  live_blocks().clear();
}
