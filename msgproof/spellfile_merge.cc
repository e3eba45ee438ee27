// Merging an edited spellfile back into its PO file.
#include <stdlib.h>

#include "msgproof.h"
#include "support.h"

size_t join_split_strings(std::string_view text, char* out) {
  char* const start = out;
  const char* at = text.data();
  const char* const end = at + text.size();
  // At the start of the text and right after a dropped boundary, no boundary
  // starts; a backslash always takes the character after it along.
  bool may_drop = false;
  for (;;) {
    // Copy up to the next backslash or double quote in one piece.
    const size_t plain =
        copy_until_either(at, static_cast<size_t>(end - at), out, '\\', '"');
    if (plain > 0) {
      out += plain;
      at += plain;
      may_drop = true;
    }
    if (at == end) {
      break;
    }
    if (*at == '\\') {
      *out++ = *at++;
      if (at == end) {
        break;
      }
      *out++ = *at++;
      may_drop = true;
    } else if (may_drop && end - at >= 3 && at[1] == ' ' && at[2] == '"') {
      at += 3;
      may_drop = false;
    } else {
      *out++ = *at++;
      may_drop = true;
    }
  }
  *out = '\0';
  return static_cast<size_t>(out - start);
}

bool is_string_run(std::string_view text) {
  size_t at = find_quote(text);
  if (at == std::string_view::npos) {
    return false;
  }
  const size_t end = text.size();
  while (at < end && text[at] == '"') {
    // One literal: up to the double quote that no backslash escapes.
    for (at++; at == end || text[at] != '"'; at++) {
      if (at == end || text[at] == '\n' ||
          (text[at] == '\\' && (++at == end || text[at] == '\n'))) {
        return false;
      }
    }
    at++;
    while (at < end && (text[at] == ' ' || text[at] == '\t')) {
      at++;
    }
  }
  if (at < end && text[at] == '\r') {
    at++;
  }
  return at == end || text[at] == '\n';
}

namespace {

// Reads PO lines up to the next one that the extraction turned into a
// marker, passing over those the spellfile carries itself, and returns it.
// It must be the line `marker_line` was made for.
std::string_view claim_line(line_reader* po, po_state* state,
                            const char* language,
                            std::string_view marker_line) {
  for (std::string_view po_line; !(po_line = next_line(po)).empty();) {
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

// Writes the joined string text of the spellfile line `spell_line` from
// `quote` on, straight into the output's buffer where it has room; in
// strict mode, refuses one that is no run of string literals: a filter cut
// off inside a translation, or a quote left unescaped. `scratch` must hold
// the line's length plus one.
void write_strings(std::string_view spell_line, size_t quote, bool strict,
                   char* scratch, FILE* output) {
  const std::string_view strings = {spell_line.data() + quote,
                                    spell_line.size() - quote};
  char* room = output_room(output, strings.size() + 1);
  char* joined = room != nullptr ? room : scratch;
  const size_t length = join_split_strings(strings, joined);
  if (strict && !is_string_run({joined, length})) {
    fatal(0,
          _("found a translation in the spell file that is not a "
            "well-formed string:\n%s"),
          without_newline(spell_line));
  }
  if (room != nullptr) {
    commit_output(output, length);
  } else {
    put_bytes(scratch, length, output);
  }
}

// Writes a handed-over translation: the keyword part of the PO line (its
// blanks, the keyword and anything before the string, such as [1]), then the
// string text of the spellfile line, joined again.
void write_translation(line_reader* po, std::string_view po_line,
                       std::string_view spell_line, bool strict, char* scratch,
                       FILE* output) {
  const size_t spell_quote = find_quote(spell_line);
  if (spell_quote == std::string_view::npos) {
    fatal(0, _("found a translation without a string in the spell file:\n%s"),
          without_newline(spell_line));
  }
  // The extraction hands over only msgstr lines that hold a double quote,
  // after the keyword.
  keep_line(po, {po_line.data(), find_quote(po_line, 6)}, output);
  flush_kept(po);
  write_strings(spell_line, spell_quote, strict, scratch, output);
}

// The spellfile has ended. If the PO file still holds a line that only a
// marker could have brought back, the work text was cut short: the merged
// file would lose the rest of the PO file.
void check_rest_of_po(line_reader* po, po_state* state, const char* language) {
  for (std::string_view po_line; !(po_line = next_line(po)).empty();) {
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
  line_reader spell_reader = {spellfile};
  line_reader po_reader = {po};
  char* scratch = nullptr;  // the joined text of a spellfile line
  size_t scratch_size = 0;
  po_state state;
  for (std::string_view spell_line;
       !(spell_line = next_line(&spell_reader)).empty();) {
    if (spell_line.size() >= scratch_size) {
      scratch_size = spell_line.size() + 1024;
      scratch = static_cast<char*>(realloc_or_die(scratch, scratch_size));
    }
    // The PO lines that markers bring back are kept, and written in runs;
    // they go out before anything else is written.
    if (!is_marker_kind(spell_line[0])) {
      flush_kept(&po_reader);
    }
    switch (spell_line[0]) {
    case '#':
    case '>':
    case ')':
    case ']':
      keep_line(&po_reader,
                claim_line(&po_reader, &state, language, spell_line), output);
      break;
    case '+':
      write_translation(&po_reader,
                        claim_line(&po_reader, &state, language, spell_line),
                        spell_line, strict, scratch, output);
      break;
    case '"':
      write_strings(spell_line, 0, strict, scratch, output);
      break;
    case '\n':
      put_bytes(spell_line.data(), spell_line.size(), output);
      break;
    case '?':
      if (!strict) {
        const size_t cut =
            spell_line.size() == 1 || spell_line[1] == '\n' ? 1 : 2;
        put_bytes(spell_line.data() + cut, spell_line.size() - cut, output);
        break;
      }
      [[fallthrough]];
    default:
      fatal(0, _("found line with unknown content in the spell file:\n%s"),
            without_newline(spell_line));
    }
  }
  flush_kept(&po_reader);
  check_rest_of_po(&po_reader, &state, language);
  free(spell_reader.own);
  free(po_reader.own);
  free(scratch);
  close_stream(po);
  close_stream(spellfile);
  close_stream(output);
}
