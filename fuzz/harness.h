// Shared pieces of the fuzzing harnesses: a failure that returns to the
// harness, and the conversions run on text in memory.
#ifndef TEXTMEND_FUZZ_HARNESS_H
#define TEXTMEND_FUZZ_HARNESS_H

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>

#include <deque>
#include <string>
#include <vector>

#include "support.h"

// Where fatal returns to in a fuzzing build.
extern jmp_buf* fuzz_failure;

// The heap blocks that the code under test holds (tracked_memory.cc).
size_t tracked_blocks();
void free_tracked_blocks();

// Streams over text in memory for one call of a conversion. The conversions
// close every stream they are given at their very end, after the last point
// where they can fail, so after a failure the harness closes them all.
class MemoryStreams {
 public:
  FILE* input(const std::string& text) {
    inputs_.push_back(text);
    FILE* stream = fmemopen(inputs_.back().data(), inputs_.back().size(), "r");
    open_.push_back(stream);
    return stream;
  }
  FILE* output() {
    FILE* stream = open_memstream(&buffer_, &size_);
    open_.push_back(stream);
    return stream;
  }
  // What output() received; valid once the conversion has closed it.
  std::string text() const { return std::string(buffer_, size_); }
  void close_after_failure() {
    for (FILE* stream : open_) {
      fclose(stream);
    }
  }
  ~MemoryStreams() { free(buffer_); }

 private:
  std::deque<std::string> inputs_;  // elements never move
  std::vector<FILE*> open_;
  char* buffer_ = nullptr;
  size_t size_ = 0;
};

// Runs `convert(streams)`; returns false if it failed through fatal. A
// conversion that succeeds must have freed every block it allocated.
template <class Convert>
bool survives(MemoryStreams* streams, Convert convert) {
  jmp_buf here;
  fuzz_failure = &here;
  if (setjmp(here) != 0) {
    fuzz_failure = nullptr;
    streams->close_after_failure();
    free_tracked_blocks();
    return false;
  }
  convert(streams);
  fuzz_failure = nullptr;
  if (tracked_blocks() != 0) {
    fprintf(stderr, "a conversion kept %zu heap blocks\n", tracked_blocks());
    abort();
  }
  return true;
}

// Reports a broken property and stops the fuzzer.
[[noreturn]] inline void broken(const char* what, const std::string& input,
                                const std::string& want,
                                const std::string& got) {
  fprintf(stderr, "%s\n--- input\n%s\n--- want\n%s\n--- got\n%s\n", what,
          input.c_str(), want.c_str(), got.c_str());
  abort();
}

#endif  // TEXTMEND_FUZZ_HARNESS_H
