// The body tool: its settings, header fields and the bodyfile conversions.
#ifndef TEXTMEND_POSTPROOF_POSTPROOF_H
#define TEXTMEND_POSTPROOF_POSTPROOF_H

#include <stddef.h>
#include <stdio.h>

#include <string_view>

// The header names given with -k, the last one first.
struct kept_header {
  const char* name;
  kept_header* next;
};

struct body_options {
  bool quotes = false;                  // -q
  bool signature = false;               // -s
  bool filter = false;                  // -f
  bool keep_whole_header = false;       // -h
  const char* target = nullptr;         // -n: the message, "-" for stdio
  const char* program = nullptr;        // -p
  kept_header* kept_headers = nullptr;  // -k, once per occurrence
};

// What the conversions need of the options.
struct body_settings {
  bool strip_header;  // the header is separated from the body
  bool quotes;        // quoted lines become a marker
  bool signature;     // the signature is left out
  const kept_header* kept_headers;
};

// Reads the options into `*options` and returns the child's argument vector.
// Answers -v and a bad command line itself, ending the process.
char** parse_body_command_line(int argc, char** argv, body_options* options);

// Like read_line, but returns a whole header field: its first line with all
// the continuation lines (those beginning with a space or a tab) after it.
// An empty line is returned alone.
char* read_header_line(char* buffer, size_t* capacity, FILE* stream);
// The same, also setting `*length` to the field's length.
char* read_header_line(char* buffer, size_t* capacity, FILE* stream,
                       size_t* length);

// Whether `line` is the signature separator: "-- " alone on its line.
inline bool is_separator(std::string_view line) {
  return line == "-- \n";
}

// Whether the field `line` is named in `kept_headers`, ignoring the case of
// ASCII letters; the name must be followed directly by a colon.
bool is_kept_header(const char* line, const kept_header* kept_headers);

// Writes the bodyfile for the message in `input`: the kept header fields and
// an empty line, then the body, with quoted lines as a marker and without
// the signature as `settings` say. Copies every line read to `copy` when
// given. Closes `input` (unless it is standard input), `copy` and
// `bodyfile`.
void extract_body(FILE* input, FILE* copy, FILE* bodyfile,
                  const body_settings& settings);

// Rebuilds the message from the untouched `message` and the edited
// `bodyfile`, writing it to `output`; closes all three.
void merge_body(FILE* message, FILE* bodyfile, FILE* output,
                const body_settings& settings);

#endif  // TEXTMEND_POSTPROOF_POSTPROOF_H
