// Header fields with their continuation lines, and the keep list.
#include <stdlib.h>
#include <string.h>

#include "postproof.h"
#include "support.h"

char* read_header_line(char* buffer, size_t* capacity, FILE* stream) {
  size_t length;
  return read_header_line(buffer, capacity, stream, &length);
}

char* read_header_line(char* buffer, size_t* capacity, FILE* stream,
                       size_t* length) {
  buffer = read_line(buffer, capacity, stream, length);
  if (buffer == nullptr || buffer[0] == '\n') {
    return buffer;
  }
  // One buffer for all the continuation lines of the field; the field's
  // buffer grows by half its size at a time, so that a field folded over
  // any number of lines is read in linear time.
  char* continuation = nullptr;
  size_t continuation_capacity = 0;
  for (;;) {
    const int next = getc_unlocked(stream);
    if (next == EOF) {
      if (ferror(stream)) {
        fatal(FATAL_ERRNO, _("reading file"));
      }
      break;
    }
    ungetc(next, stream);
    if (next != ' ' && next != '\t') {
      break;
    }
    size_t continuation_length;
    continuation = read_line(continuation, &continuation_capacity, stream,
                             &continuation_length);
    if (continuation == nullptr) {
      fatal(0, _("internal error while reading a header continuation"));
    }
    const size_t joined = *length + continuation_length + 1;
    if (joined > *capacity) {
      size_t grown = *capacity + *capacity / 2;
      grown = grown < joined ? joined : grown;
      buffer = static_cast<char*>(realloc_or_die(buffer, grown));
      *capacity = grown;
    }
    memcpy(buffer + *length, continuation, continuation_length + 1);
    *length += continuation_length;
  }
  free(continuation);
  return buffer;
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
