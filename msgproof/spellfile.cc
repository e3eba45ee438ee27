// Turning a PO file into the spellfile, with the translations handed over
// and every other line reduced to a marker.
#include <ctype.h>
#include <stdlib.h>

#include "msgproof.h"
#include "support.h"

void split_after_escapes(const char* text, char* out) {
  for (;;) {
    // Copy up to the next backslash in one piece.
    const char* backslash = strchr(text, '\\');
    const size_t plain = backslash == nullptr
                             ? strlen(text)
                             : static_cast<size_t>(backslash - text);
    memcpy(out, text, plain);
    out += plain;
    text += plain;
    if (*text == '\0') {
      break;
    }
    *out++ = *text++;
    if (*text == '\0') {
      break;
    }
    const char escaped = *text;
    *out++ = *text++;
    // Escapes \a to \v (\n, \t, \r and the rest) that a letter follows, as
    // in "Zeile\nZeile": a spell checker would see "nZeile" as one word.
    const unsigned char next = static_cast<unsigned char>(*text);
    if (escaped >= 'a' && escaped <= 'v' && next < 128 && isalpha(next)) {
      *out++ = '"';
      *out++ = ' ';
      *out++ = '"';
    }
  }
  *out = '\0';
}

namespace {

// Whether a msgstr line carries `language`: it must stand between the
// keyword and the string, as in msgstr[1] with the language 1.
bool carries_language(const char* after_keyword, const char* language) {
  if (language == nullptr) {
    return true;
  }
  const char* quote = strchr(after_keyword, '"');
  if (quote == nullptr) {
    return false;
  }
  const char* found = strstr(after_keyword, language);
  return found != nullptr && found <= quote;
}

}  // namespace

void extract_translations(FILE* input, FILE* copy, FILE* spellfile, bool strict,
                          const char* language) {
  char* line = nullptr;
  size_t capacity = 0;
  char* scratch = nullptr;
  size_t scratch_size = 0;
  bool in_msgid = false, has_msgid = false, in_msgstr = false;
  bool selected = false;
  while ((line = read_line(line, &capacity, input)) != nullptr) {
    if (copy != nullptr) {
      put_text(line, copy);
    }
    if (2 * capacity > scratch_size) {
      scratch_size = 2 * capacity;
      scratch = static_cast<char*>(realloc_or_die(scratch, scratch_size));
    }
    const char* rest = skip_blanks(line);
    if (is_comment(rest)) {
      put_text("#\n", spellfile);
    } else if (is_key_line(rest)) {
      const char* quote = strchr(line, '"');
      has_msgid = quote != nullptr && quote[1] != '"';
      in_msgstr = false;
      in_msgid = true;
      put_text(">\n", spellfile);
    } else if (in_msgid && is_string_line(rest)) {
      has_msgid = true;
      put_text("]\n", spellfile);
    } else if (is_msgstr_line(rest)) {
      selected = carries_language(rest + 6, language);
      // A msgstr line without any string is malformed; it stays with the PO
      // file, which the merge then copies unchanged.
      const char* quote = strchr(rest, '"');
      if (selected && has_msgid && quote != nullptr) {
        split_after_escapes(quote, scratch);
        put_text("+ ", spellfile);
        put_text(scratch, spellfile);
      } else {
        put_text(")\n", spellfile);
      }
      in_msgid = false;
      in_msgstr = true;
    } else if (in_msgstr && is_string_line(rest)) {
      if (has_msgid && selected) {
        split_after_escapes(rest, scratch);
        put_text(scratch, spellfile);
      } else {
        put_text("]\n", spellfile);
      }
    } else if (rest[0] == '\n') {
      put_text("\n", spellfile);
    } else {
      if (strict) {
        fatal(0, _("I don't understand this line in the .po file:\n%s"),
              without_newline(line));
      }
      put_text("? ", spellfile);
      put_text(line, spellfile);
    }
  }
  free(scratch);
  if (input != stdin) {
    close_stream(input);
  }
  if (copy != nullptr) {
    close_stream(copy);
  }
  close_stream(spellfile);
}
