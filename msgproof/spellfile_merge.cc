// Merging an edited spellfile back into its PO file.
#include <stdlib.h>

#include "msgproof.h"
#include "support.h"

void join_split_strings(const char* text, char* out) {
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
}

namespace {

// Whether a PO line is of the kind that the spellfile marker stands for.
bool is_claimed_by(const char* line, char marker) {
  const char* rest = skip_blanks(line);
  switch (marker) {
  case '#':
    return is_comment(rest);
  case '>':
    return is_key_line(rest);
  case ')':
  case '+':
    return is_msgstr_line(rest);
  default:
    return is_string_line(rest);
  }
}

// Reads PO lines up to the next one of the kind `marker` stands for and
// returns it; the lines passed over are those the spellfile holds itself.
char* find_claimed_line(char* po_line, size_t* capacity, FILE* po,
                        char* marker_line) {
  const char marker = marker_line[0];
  while ((po_line = read_line(po_line, capacity, po)) != nullptr) {
    if (is_claimed_by(po_line, marker)) {
      return po_line;
    }
  }
  fatal(0,
        _("found a marker in the spell file that has no line left in the .po "
          "file:\n%s"),
        without_newline(marker_line));
}

// Writes a handed-over translation: the keyword part of the PO line (its
// blanks, the keyword and anything before the string, such as [1]), then the
// string text of the spellfile line, joined again.
void write_translation(char* po_line, char* spell_line, FILE* output) {
  char* po_quote = strchr(po_line, '"');
  if (po_quote == nullptr) {
    fatal(0,
          _("found a translation in the spell file for a msgstr line without "
            "a string:\n%s"),
          without_newline(po_line));
  }
  const char* spell_quote = strchr(spell_line, '"');
  if (spell_quote == nullptr) {
    fatal(0, _("found a translation without a string in the spell file:\n%s"),
          without_newline(spell_line));
  }
  *po_quote = '\0';
  put_text(po_line, output);
  join_split_strings(spell_quote, po_line);
  put_text(po_line, output);
}

// The spellfile has ended. If the PO file still holds a line that only a
// marker could have brought back, the work text was cut short: the merged
// file would lose the rest of the PO file.
void check_rest_of_po(char* po_line, size_t* capacity, FILE* po) {
  while ((po_line = read_line(po_line, capacity, po)) != nullptr) {
    const char* rest = skip_blanks(po_line);
    if (is_comment(rest) || is_key_line(rest) || is_msgstr_line(rest)) {
      fatal(0, _("the spell file ends before this line of the .po file:\n%s"),
            without_newline(po_line));
    }
  }
}

}  // namespace

void merge_translations(FILE* po, FILE* spellfile, FILE* output, bool strict) {
  char* spell_line = nullptr;
  size_t spell_capacity = 0;
  char* po_line = nullptr;
  size_t po_capacity = 0;
  while ((spell_line = read_line(spell_line, &spell_capacity, spellfile)) !=
         nullptr) {
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
      po_line = find_claimed_line(po_line, &po_capacity, po, spell_line);
      put_text(po_line, output);
      break;
    case '+':
      po_line = find_claimed_line(po_line, &po_capacity, po, spell_line);
      write_translation(po_line, spell_line, output);
      break;
    case '"':
      join_split_strings(spell_line, po_line);
      put_text(po_line, output);
      break;
    case '\n':
      put_text(spell_line, output);
      break;
    case '?':
      if (!strict) {
        const bool bare = spell_line[1] == '\n' || spell_line[1] == '\0';
        put_text(spell_line + (bare ? 1 : 2), output);
        break;
      }
      [[fallthrough]];
    default:
      fatal(0, _("found line with unknown content in the spell file:\n%s"),
            without_newline(spell_line));
    }
  }
  check_rest_of_po(po_line, &po_capacity, po);
  close_stream(po);
  close_stream(spellfile);
  close_stream(output);
}
