// Turning a message into the bodyfile: kept header fields, the body, quoted
// lines as markers, the signature left out.
#include <stdlib.h>
#include <string.h>

#include "postproof.h"
#include "support.h"

namespace {

// Copies the header to `copy` and its kept fields, with an empty line after
// them, to the bodyfile.
void extract_header(FILE* input, FILE* copy, FILE* bodyfile,
                    const kept_header* kept_headers) {
  char* field = nullptr;
  size_t capacity = 0;
  size_t length;
  bool kept_any = false;
  while ((field = read_header_line(field, &capacity, input, &length)) !=
         nullptr) {
    if (copy != nullptr) {
      put_bytes(field, length, copy);
    }
    if (field[0] == '\n') {
      if (kept_any) {
        put_bytes(field, length, bodyfile);
      }
      free(field);
      return;
    }
    if (is_kept_header(field, kept_headers)) {
      put_bytes(field, length, bodyfile);
      kept_any = true;
    }
  }
}

// Copies the rest of `input` to `copy`.
void copy_rest(char* line, size_t* capacity, FILE* input, FILE* copy) {
  size_t length;
  while ((line = read_line(line, capacity, input, &length)) != nullptr) {
    put_bytes(line, length, copy);
  }
}

}  // namespace

void extract_body(FILE* input, FILE* copy, FILE* bodyfile,
                  const body_settings& settings) {
  if (settings.strip_header) {
    extract_header(input, copy, bodyfile, settings.kept_headers);
  }
  char* line = nullptr;
  size_t capacity = 0;
  size_t length;
  while ((line = read_line(line, &capacity, input, &length)) != nullptr) {
    if (settings.signature && length == 4 && memcmp(line, "-- \n", 4) == 0) {
      if (copy != nullptr) {
        put_bytes(line, length, copy);
        copy_rest(line, &capacity, input, copy);
      } else {
        free(line);
      }
      break;
    }
    if (copy != nullptr) {
      put_bytes(line, length, copy);
    }
    if (settings.quotes && line[0] == '>') {
      put_bytes(">\n", 2, bodyfile);
    } else {
      put_bytes(line, length, bodyfile);
    }
  }
  if (input != stdin) {
    close_stream(input);
  }
  if (copy != nullptr) {
    close_stream(copy);
  }
  close_stream(bodyfile);
}
