// Turning a message into the bodyfile: kept header fields, the body, quoted
// lines as markers, the signature left out.
#include <stdlib.h>

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

// Copies the rest of the reader's stream to `copy`.
void copy_rest(line_reader* reader, FILE* copy) {
  for (std::string_view line; !(line = next_line(reader)).empty();) {
    keep_line(reader, line, copy);
  }
}

}  // namespace

void extract_body(FILE* input, FILE* copy, FILE* bodyfile,
                  const body_settings& settings) {
  if (settings.strip_header) {
    extract_header(input, copy, bodyfile, settings.kept_headers);
  }
  line_reader reader = {input};
  for (std::string_view line; !(line = next_line(&reader)).empty();) {
    if (copy != nullptr) {
      put_bytes(line.data(), line.size(), copy);
    }
    if (settings.signature && is_separator(line)) {
      if (copy != nullptr) {
        copy_rest(&reader, copy);
      }
      break;
    }
    // Lines of the body go over in runs, as they stand in the input.
    if (settings.quotes && line[0] == '>') {
      flush_kept(&reader);
      put_bytes(">\n", 2, bodyfile);
    } else {
      keep_line(&reader, line, bodyfile);
    }
  }
  flush_kept(&reader);
  free(reader.own);
  if (input != stdin) {
    close_stream(input);
  }
  if (copy != nullptr) {
    close_stream(copy);
  }
  close_stream(bodyfile);
}
