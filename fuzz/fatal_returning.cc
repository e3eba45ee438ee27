// A fatal for fuzzing builds: formats the diagnostic as the real one does,
// then returns to the harness instead of ending the process.
#include <stdarg.h>
#include <stdio.h>

#include "harness.h"
#include "support.h"

jmp_buf* fuzz_failure = nullptr;

void fatal(int flags, const char* format, ...) {
  char message[4096];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  (void)flags;
  if (fuzz_failure == nullptr) {
    fprintf(stderr, "fatal outside a conversion: %s\n", message);
    abort();
  }
  longjmp(*fuzz_failure, 1);
}
