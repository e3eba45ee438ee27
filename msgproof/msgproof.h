// The PO tool: its settings, command line and the spellfile conversions.
#ifndef TEXTMEND_MSGPROOF_MSGPROOF_H
#define TEXTMEND_MSGPROOF_MSGPROOF_H

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <string_view>

struct po_options {
  bool filter = false;
  const char* language = nullptr;  // -l: hand over only this language
  const char* target = nullptr;    // -n: the PO file, "-" for stdio
  const char* program = nullptr;   // -p
  bool strict = false;             // -s: unknown lines are fatal
};

// Sets the locale and the message domain, reads the options into `*options`
// and returns the child's argument vector. Answers -v and a bad command line
// itself, ending the process.
char** parse_po_command_line(int argc, char** argv, po_options* options);

// Writes the spellfile for the PO text in `input`: one line for each PO
// line, the translations handed over, everything else a marker. Copies every
// line to `copy` when given. Closes `input` (unless it is standard input),
// `copy` and `spellfile`.
void extract_translations(FILE* input, FILE* copy, FILE* spellfile, bool strict,
                          const char* language);

// Rebuilds the PO text from the untouched PO text `po` and the edited
// `spellfile`, writing it to `output`; closes all three.
void merge_translations(FILE* po, FILE* spellfile, FILE* output, bool strict);

// Copies `text` to `out`, ending the string literal after an escape such as
// \n that a letter follows and starting a new one, so that a spell checker
// sees the word apart from the escape. `out` must hold twice the length of
// `text` plus one.
void split_after_escapes(const char* text, char* out);

// Undoes split_after_escapes: joins adjacent literals on one line. `out`
// must hold the length of `text` plus one; it may be `text` itself.
void join_split_strings(const char* text, char* out);

// Kinds of PO line, judged on the text after the leading blanks.
inline const char* skip_blanks(const char* line) {
  while (*line == ' ' || *line == '\t') {
    line++;
  }
  return line;
}
inline bool is_comment(const char* rest) {
  return rest[0] == '#';
}
// A line that names a message: msgid, msgid_plural or msgctxt.
inline bool is_key_line(const char* rest) {
  const std::string_view r(rest);
  return r.starts_with("msgid") || r.starts_with("msgctxt");
}
inline bool is_msgstr_line(const char* rest) {
  return std::string_view(rest).starts_with("msgstr");
}
inline bool is_string_line(const char* rest) {
  return rest[0] == '"';
}

// Removes the newline at the end of `line`, if there is one, for quoting the
// line in a diagnostic.
inline const char* without_newline(char* line) {
  const size_t length = strlen(line);
  if (length > 0 && line[length - 1] == '\n') {
    line[length - 1] = '\0';
  }
  return line;
}

#endif  // TEXTMEND_MSGPROOF_MSGPROOF_H
