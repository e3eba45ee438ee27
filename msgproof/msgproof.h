// The PO tool: its settings, command line and the spellfile conversions.
#ifndef TEXTMEND_MSGPROOF_MSGPROOF_H
#define TEXTMEND_MSGPROOF_MSGPROOF_H

#include <stddef.h>
#include <stdio.h>

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
// `spellfile`, writing it to `output`; closes all three. `strict` and
// `language` must be those of the extraction: every marker is held to the
// PO line it was made for, and a marker deleted, added, moved or changed
// into another ends the run.
void merge_translations(FILE* po, FILE* spellfile, FILE* output, bool strict,
                        const char* language);

// What the extraction has seen of the PO file so far, carried from line to
// line.
struct po_state {
  bool in_msgid = false;   // a string line continues a msgid
  bool has_msgid = false;  // the current message's msgid is not empty
  bool in_msgstr = false;  // a string line continues a msgstr
  bool selected = false;   // the current msgstr carries the language
};

// Classifies the PO line whose text after the leading blanks is `rest`, as
// the extraction and the merge both see it, and moves `*state` on. Returns
// the first character of the spellfile line that stands for it:
//   '#' comment, '>' msgid, msgid_plural or msgctxt line, ']' a string line
//   that continues one of those or a msgstr not handed over, ')' a msgstr
//   line not handed over, '+' a msgstr line handed over (it holds a double
//   quote), '"' a string line that continues a handed-over msgstr, '\n' an
//   empty or blank line, '?' an unrecognised line.
char classify_po_line(std::string_view rest, po_state* state,
                      const char* language);

// Whether the spellfile line for a PO line of `kind` is a marker that the
// merge holds to that line; the spellfile carries the others itself.
inline bool is_marker_kind(char kind) {
  return kind == '#' || kind == '>' || kind == ']' || kind == ')' ||
         kind == '+';
}

// Whether `text`, from its first double quote on, is one or more PO string
// literals separated by blanks, up to the end of the line.
bool is_string_run(std::string_view text);

// Copies `text` to `out`, ending the string literal after an escape such as
// \n that a letter follows and starting a new one, so that a spell checker
// sees the word apart from the escape. `out` must hold twice the length of
// `text` plus one.
// Returns the length of the copy.
size_t split_after_escapes(std::string_view text, char* out);

// Undoes split_after_escapes: joins adjacent literals on one line. `out`
// must hold the length of `text` plus one.
// Returns the length of the copy.
size_t join_split_strings(std::string_view text, char* out);

// The line without its leading blanks, on which its kind is judged.
inline std::string_view skip_blanks(std::string_view line) {
  size_t blanks = 0;
  while (blanks < line.size() &&
         (line[blanks] == ' ' || line[blanks] == '\t')) {
    blanks++;
  }
  line.remove_prefix(blanks);
  return line;
}

// The offset of the first double quote in `line` from offset `from` on, or
// npos. On the lines looked at it stands right after a keyword or at the
// start, where a plain loop finds it sooner than a library call.
inline size_t find_quote(std::string_view line, size_t from = 0) {
  for (size_t at = from; at < line.size(); at++) {
    if (line[at] == '"') {
      return at;
    }
  }
  return std::string_view::npos;
}

// A copy of `line` without its newline, for quoting the line in a
// diagnostic.
const char* without_newline(std::string_view line);

#endif  // TEXTMEND_MSGPROOF_MSGPROOF_H
