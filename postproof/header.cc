// Header fields with their continuation lines, and the keep list.
#include <stdlib.h>
#include <string.h>

#include "postproof.h"
#include "support.h"

char* read_header_line(char* buffer, size_t* capacity, FILE* stream) {
  buffer = read_line(buffer, capacity, stream);
  if (buffer == nullptr || buffer[0] == '\n') {
    return buffer;
  }
  for (;;) {
    const int next = getc(stream);
    if (next == EOF) {
      if (ferror(stream)) {
        fatal(FATAL_ERRNO, _("reading file"));
      }
      return buffer;
    }
    ungetc(next, stream);
    if (next != ' ' && next != '\t') {
      return buffer;
    }
    size_t continuation_capacity = 256;
    char* continuation =
        read_line(static_cast<char*>(alloc_or_die(continuation_capacity)),
                  &continuation_capacity, stream);
    if (continuation == nullptr) {
      fatal(0, _("internal error while reading a header continuation"));
    }
    const size_t length = strlen(buffer);
    const size_t joined = length + strlen(continuation) + 1;
    if (joined > *capacity) {
      buffer = static_cast<char*>(realloc_or_die(buffer, joined));
      *capacity = joined;
    }
    memcpy(buffer + length, continuation, joined - length);
    free(continuation);
  }
}

namespace {

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `line` begins with `name` followed by a colon, with the case of
// ASCII letters ignored and every other byte compared as it is, whatever
// the locale: in a Turkish one, I and i are no pair.
bool names_field(const char* line, const char* name) {
  for (; *name != '\0'; line++, name++) {
    if (ascii_lower(*line) != ascii_lower(*name)) {
      return false;
    }
  }
  return *line == ':';
}

}  // namespace

bool is_kept_header(const char* line, const kept_header* kept_headers) {
  for (const kept_header* h = kept_headers; h != nullptr; h = h->next) {
    if (names_field(line, h->name)) {
      return true;
    }
  }
  return false;
}
