// Turning a PO file into the spellfile, with the translations handed over
// and every other line reduced to a marker.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "msgproof.h"
#include "support.h"

size_t split_after_escapes(std::string_view text, char* out) {
  char* const start = out;
  const char* at = text.data();
  const char* const end = at + text.size();
  for (;;) {
    // Copy up to the next backslash, or the end, in one piece.
    const size_t plain =
        copy_until_either(at, static_cast<size_t>(end - at), out, '\\', '\\');
    out += plain;
    at += plain;
    if (at == end) {
      break;
    }
    *out++ = *at++;
    if (at == end) {
      break;
    }
    const char escaped = *at;
    *out++ = *at++;
    // Escapes \a to \v (\n, \t, \r and the rest) that a letter follows, as
    // in "Zeile\nZeile": a spell checker would see "nZeile" as one word.
    if (at == end) {
      break;
    }
    const unsigned char next = static_cast<unsigned char>(*at);
    if (escaped >= 'a' && escaped <= 'v' && next < 128 && isalpha(next)) {
      *out++ = '"';
      *out++ = ' ';
      *out++ = '"';
    }
  }
  *out = '\0';
  return static_cast<size_t>(out - start);
}

const char* without_newline(std::string_view line) {
  if (line.ends_with('\n')) {
    line.remove_suffix(1);
  }
  char* copy = static_cast<char*>(alloc_or_die(line.size() + 1));
  memcpy(copy, line.data(), line.size());
  copy[line.size()] = '\0';
  return copy;
}

namespace {

// Whether a msgstr line carries `language`: it must stand between the
// keyword and the string, as in msgstr[1] with the language 1. Kept out of
// line: classify_po_line is called for every line and stays light.
[[gnu::noinline]] bool carries_language(std::string_view after_keyword,
                                        const char* language) {
  const size_t quote = after_keyword.find('"');
  if (quote == std::string_view::npos) {
    return false;
  }
  const size_t found = after_keyword.find(language);
  return found != std::string_view::npos && found <= quote;
}

// Writes the string text `strings` split after its escapes, straight into
// the spellfile's buffer where it has room, otherwise through `scratch`,
// which must hold twice its length plus one.
void write_split(std::string_view strings, char* scratch, FILE* spellfile) {
  const size_t most = 2 * strings.size() + 1;
  if (char* room = output_room(spellfile, most)) {
    commit_output(spellfile, split_after_escapes(strings, room));
  } else {
    put_bytes(scratch, split_after_escapes(strings, scratch), spellfile);
  }
}

}  // namespace

char classify_po_line(std::string_view rest, po_state* state,
                      const char* language) {
  // Judged on the first byte first: most lines are decided by it alone.
  switch (rest.empty() ? '\0' : rest[0]) {
  case '#':
    return '#';
  case '\n':
    return '\n';
  case '"':
    if (state->in_msgid) {
      state->has_msgid = true;
      return ']';
    }
    if (state->in_msgstr) {
      return state->has_msgid && state->selected ? '"' : ']';
    }
    return '?';
  case 'm':
    if (rest.starts_with("msgid") || rest.starts_with("msgctxt")) {
      const size_t quote = find_quote(rest, 5);  // after msgid or msgctxt
      state->has_msgid = quote != std::string_view::npos &&
                         (quote + 1 == rest.size() || rest[quote + 1] != '"');
      state->in_msgstr = false;
      state->in_msgid = true;
      return '>';
    }
    if (rest.starts_with("msgstr")) {
      state->selected =
          language == nullptr ||
          carries_language({rest.data() + 6, rest.size() - 6}, language);
      state->in_msgid = false;
      state->in_msgstr = true;
      // A msgstr line without any string is malformed; it stays with the
      // PO file, which the merge then copies unchanged.
      return state->selected && state->has_msgid &&
                     find_quote(rest, 6) != std::string_view::npos
                 ? '+'
                 : ')';
    }
    return '?';
  default:
    return '?';
  }
}

void extract_translations(FILE* input, FILE* copy, FILE* spellfile, bool strict,
                          const char* language) {
  line_reader reader = {input};
  char* scratch = nullptr;
  size_t scratch_size = 0;
  po_state state;
  for (std::string_view line; !(line = next_line(&reader)).empty();) {
    if (copy != nullptr) {
      keep_line(&reader, line, copy);  // the copy goes over in runs
    }
    if (2 * line.size() + 1 > scratch_size) {
      scratch_size = 2 * line.size() + 1024;
      scratch = static_cast<char*>(realloc_or_die(scratch, scratch_size));
    }
    const std::string_view rest = skip_blanks(line);
    const char kind = classify_po_line(rest, &state, language);
    switch (kind) {
    case '+': {
      const size_t quote = find_quote(rest, 6);  // after msgstr
      put_bytes("+ ", 2, spellfile);
      write_split({rest.data() + quote, rest.size() - quote}, scratch,
                  spellfile);
      break;
    }
    case '"':
      write_split(rest, scratch, spellfile);
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
      put_bytes(line.data(), line.size(), spellfile);
      break;
    default:  // a marker
      const char marker[] = {kind, '\n'};
      put_bytes(marker, 2, spellfile);
    }
  }
  flush_kept(&reader);
  free(reader.own);
  free(scratch);
  if (input != stdin) {
    close_stream(input);
  }
  if (copy != nullptr) {
    close_stream(copy);
  }
  close_stream(spellfile);
}
