// Merging an edited spellfile back into its PO file.
#include <stdlib.h>

#include "msgproof.h"
#include "support.h"

size_t join_split_strings(const char* text, char* out) {
  char* const start = out;
  // At the start of the text and right after a dropped boundary, no boundary
  // starts; a backslash always takes the character after it along.
  bool may_drop = false;
  for (;;) {
    // Copy up to the next backslash or double quote in one piece.
    const size_t plain = strcspn(text, "\\\"");
    if (plain > 0) {
      memcpy(out, text, plain);
      out += plain;
      text += plain;
      may_drop = true;
    }
    if (*text == '\0') {
      break;
    }
    if (*text == '\\') {
      *out++ = *text++;
      if (*text == '\0') {
        break;
      }
      *out++ = *text++;
      may_drop = true;
    } else if (may_drop && text[1] == ' ' && text[2] == '"') {
      text += 3;
      may_drop = false;
    } else {
      *out++ = *text++;
      may_drop = true;
    }
  }
  *out = '\0';
  return static_cast<size_t>(out - start);
}

bool is_string_run(const char* text) {
  text = strchr(text, '"');
  if (text == nullptr) {
    return false;
  }
  while (*text == '"') {
    // One literal: up to the double quote that no backslash escapes.
    for (text++; *text != '"'; text++) {
      if (*text == '\0' || *text == '\n' ||
          (*text == '\\' && (*++text == '\0' || *text == '\n'))) {
        return false;
      }
    }
    text = skip_blanks(text + 1);
  }
  if (*text == '\r') {
    text++;
  }
  return *text == '\n' || *text == '\0';
}

namespace {

// Reads PO lines up to the next one that the extraction turned into a
// marker, passing over those the spellfile carries itself, and returns it.
// It must be the line `marker_line` was made for.
char* claim_line(char* po_line, size_t* capacity, size_t* length, FILE* po,
                 po_state* state, const char* language, char* marker_line) {
  while ((po_line = read_line(po_line, capacity, po, length)) != nullptr) {
    const char kind = classify_po_line(skip_blanks(po_line), state, language);
    if (!is_marker_kind(kind)) {
      continue;
    }
    if (kind != marker_line[0]) {
      fatal(0,
            _("a marker of the spell file was deleted, added or changed at "
              "or before this line:\n%s"),
            without_newline(marker_line));
    }
    return po_line;
  }
  fatal(0,
        _("found a marker in the spell file that has no line left in the .po "
          "file:\n%s"),
        without_newline(marker_line));
}

// In strict mode, refuses a handed-over string text that is no run of
// string literals: a filter cut off inside a translation, or a quote left
// unescaped.
void check_string_run(const char* joined, bool strict, char* spell_line) {
  if (strict && !is_string_run(joined)) {
    fatal(0,
          _("found a translation in the spell file that is not a "
            "well-formed string:\n%s"),
          without_newline(spell_line));
  }
}

// Writes a handed-over translation: the keyword part of the PO line (its
// blanks, the keyword and anything before the string, such as [1]), then the
// string text of the spellfile line, joined again.
void write_translation(char* po_line, char* spell_line, bool strict,
                       FILE* output) {
  const char* spell_quote = strchr(spell_line, '"');
  if (spell_quote == nullptr) {
    fatal(0, _("found a translation without a string in the spell file:\n%s"),
          without_newline(spell_line));
  }
  // The extraction hands over only msgstr lines that hold a double quote.
  char* po_quote = strchr(po_line, '"');
  put_bytes(po_line, static_cast<size_t>(po_quote - po_line), output);
  const size_t length = join_split_strings(spell_quote, po_line);
  check_string_run(po_line, strict, spell_line);
  put_bytes(po_line, length, output);
}

// The spellfile has ended. If the PO file still holds a line that only a
// marker could have brought back, the work text was cut short: the merged
// file would lose the rest of the PO file.
void check_rest_of_po(char* po_line, size_t* capacity, FILE* po,
                      po_state* state, const char* language) {
  while ((po_line = read_line(po_line, capacity, po)) != nullptr) {
    if (is_marker_kind(
            classify_po_line(skip_blanks(po_line), state, language))) {
      fatal(0, _("the spell file ends before this line of the .po file:\n%s"),
            without_newline(po_line));
    }
  }
}

}  // namespace

void merge_translations(FILE* po, FILE* spellfile, FILE* output, bool strict,
                        const char* language) {
  char* spell_line = nullptr;
  size_t spell_capacity = 0;
  size_t spell_length;
  char* po_line = nullptr;
  size_t po_capacity = 0;
  size_t po_length;
  po_state state;
  while ((spell_line = read_line(spell_line, &spell_capacity, spellfile,
                                 &spell_length)) != nullptr) {
    // The PO buffer also takes the joined text of the spellfile line.
    if (spell_capacity > po_capacity) {
      po_line = static_cast<char*>(realloc_or_die(po_line, spell_capacity));
      po_capacity = spell_capacity;
    }
    switch (spell_line[0]) {
    case '#':
    case '>':
    case ')':
    case ']':
      po_line = claim_line(po_line, &po_capacity, &po_length, po, &state,
                           language, spell_line);
      put_bytes(po_line, po_length, output);
      break;
    case '+':
      po_line = claim_line(po_line, &po_capacity, &po_length, po, &state,
                           language, spell_line);
      write_translation(po_line, spell_line, strict, output);
      break;
    case '"': {
      const size_t length = join_split_strings(spell_line, po_line);
      check_string_run(po_line, strict, spell_line);
      put_bytes(po_line, length, output);
      break;
    }
    case '\n':
      put_bytes(spell_line, spell_length, output);
      break;
    case '?':
      if (!strict) {
        const size_t cut =
            spell_line[1] == '\n' || spell_line[1] == '\0' ? 1 : 2;
        put_bytes(spell_line + cut, spell_length - cut, output);
        break;
      }
      [[fallthrough]];
    default:
      fatal(0, _("found line with unknown content in the spell file:\n%s"),
            without_newline(spell_line));
    }
  }
  check_rest_of_po(po_line, &po_capacity, po, &state, language);
  close_stream(po);
  close_stream(spellfile);
  close_stream(output);
}
