// Turning a PO file into the spellfile, with the translations handed over
// and every other line reduced to a marker.
#include <ctype.h>
#include <stdlib.h>

#include "msgproof.h"
#include "support.h"

size_t split_after_escapes(const char* text, char* out) {
  char* const start = out;
  for (;;) {
    // Copy up to the next backslash, or the end, in one piece.
    const size_t plain = static_cast<size_t>(strchrnul(text, '\\') - text);
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
  return static_cast<size_t>(out - start);
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

char classify_po_line(const char* rest, po_state* state, const char* language) {
  // Compared byte by byte up to the first difference: a view of the whole
  // line would first measure it.
  const auto starts_with = [rest](const char* prefix) {
    const char* at = rest;
    while (*prefix != '\0' && *at == *prefix) {
      at++;
      prefix++;
    }
    return *prefix == '\0';
  };
  if (rest[0] == '#') {
    return '#';
  }
  if (starts_with("msgid") || starts_with("msgctxt")) {
    const char* quote = strchr(rest, '"');
    state->has_msgid = quote != nullptr && quote[1] != '"';
    state->in_msgstr = false;
    state->in_msgid = true;
    return '>';
  }
  if (state->in_msgid && rest[0] == '"') {
    state->has_msgid = true;
    return ']';
  }
  if (starts_with("msgstr")) {
    state->selected = carries_language(rest + 6, language);
    state->in_msgid = false;
    state->in_msgstr = true;
    // A msgstr line without any string is malformed; it stays with the PO
    // file, which the merge then copies unchanged.
    return state->selected && state->has_msgid && strchr(rest, '"') != nullptr
               ? '+'
               : ')';
  }
  if (state->in_msgstr && rest[0] == '"') {
    return state->has_msgid && state->selected ? '"' : ']';
  }
  if (rest[0] == '\n') {
    return '\n';
  }
  return '?';
}

void extract_translations(FILE* input, FILE* copy, FILE* spellfile, bool strict,
                          const char* language) {
  char* line = nullptr;
  size_t capacity = 0;
  size_t length;
  char* scratch = nullptr;
  size_t scratch_size = 0;
  po_state state;
  while ((line = read_line(line, &capacity, input, &length)) != nullptr) {
    if (copy != nullptr) {
      put_bytes(line, length, copy);
    }
    if (2 * capacity > scratch_size) {
      scratch_size = 2 * capacity;
      scratch = static_cast<char*>(realloc_or_die(scratch, scratch_size));
    }
    const char* rest = skip_blanks(line);
    const char kind = classify_po_line(rest, &state, language);
    switch (kind) {
    case '+':
      put_bytes("+ ", 2, spellfile);
      put_bytes(scratch, split_after_escapes(strchr(rest, '"'), scratch),
                spellfile);
      break;
    case '"':
      put_bytes(scratch, split_after_escapes(rest, scratch), spellfile);
      break;
    case '\n':
      put_bytes("\n", 1, spellfile);
      break;
    case '?':
      if (strict) {
        fatal(0, _("I don't understand this line in the .po file:\n%s"),
              without_newline(line));
      }
      put_bytes("? ", 2, spellfile);
      put_bytes(line, length, spellfile);
      break;
    default:  // a marker
      const char marker[] = {kind, '\n'};
      put_bytes(marker, 2, spellfile);
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
