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
  bool kept_any = false;
  while ((field = read_header_line(field, &capacity, input)) != nullptr) {
    if (copy != nullptr) {
      put_text(field, copy);
    }
    if (field[0] == '\n') {
      if (kept_any) {
        put_text(field, bodyfile);
      }
      free(field);
      return;
    }
    if (is_kept_header(field, kept_headers)) {
      put_text(field, bodyfile);
      kept_any = true;
    }
  }
}

// Copies the rest of `input` to `copy`.
void copy_rest(char* line, size_t* capacity, FILE* input, FILE* copy) {
  while ((line = read_line(line, capacity, input)) != nullptr) {
    put_text(line, copy);
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
  while ((line = read_line(line, &capacity, input)) != nullptr) {
    if (settings.signature && strcmp(line, "-- \n") == 0) {
      if (copy != nullptr) {
        put_text(line, copy);
        copy_rest(line, &capacity, input, copy);
      } else {
        free(line);
      }
      break;
    }
    if (copy != nullptr) {
      put_text(line, copy);
    }
    put_text(settings.quotes && line[0] == '>' ? ">\n" : line, bodyfile);
  }
  if (input != stdin) {
    close_stream(input);
  }
  if (copy != nullptr) {
    close_stream(copy);
  }
  close_stream(bodyfile);
}
