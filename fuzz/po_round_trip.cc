// Property: for any input, extraction followed by the merge of the unchanged
// spellfile gives the PO text back, apart from the documented
// normalisations, which a model written here computes on its own; in strict
// mode a translation that is no well-formed string makes the merge fail.
// First byte: bit 0 strict mode, bits 1-2 the language.
#include <stdint.h>

#include <string>
#include <string_view>

#include "harness.h"
#include "msgproof.h"

const char tool_name[] = "msgproof";

namespace {

// Adjacent literals joined: a quote, a space and a quote are dropped except
// at the start, right after a dropped one, or inside an escape.
std::string joined(std::string_view text) {
  std::string out;
  bool droppable = false;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\\') {
      out.append(text.substr(i, 2));
      i += 2;
      droppable = true;
    } else if (droppable && text.substr(i, 3) == "\" \"") {
      i += 3;
      droppable = false;
    } else {
      out += text[i++];
      droppable = true;
    }
  }
  return out;
}

// Whether `text` is PO string literals separated by blanks, up to the end
// of the line (a carriage return may stand before the newline).
bool string_run(std::string_view text) {
  size_t i = 0;
  if (text.empty() || text[0] != '"') {
    return false;
  }
  while (i < text.size() && text[i] == '"') {
    for (i++;; i++) {
      if (i >= text.size() || text[i] == '\n') {
        return false;
      }
      if (text[i] == '"') {
        break;
      }
      if (text[i] == '\\' && (++i >= text.size() || text[i] == '\n')) {
        return false;
      }
    }
    i++;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
      i++;
    }
  }
  const std::string_view end = text.substr(i);
  return end.empty() || end == "\n" || end == "\r" || end == "\r\n";
}

struct Expected {
  bool fails = false;        // the extraction fails
  bool merge_fails = false;  // the merge of the unchanged spellfile fails
  std::string text;
};

// What the round trip must give: handed-over translations with their
// literals joined, their continuation lines without leading blanks, blank
// lines empty; everything else as it was.
Expected expected(std::string_view po, bool strict, const char* language) {
  Expected e;
  e.fails = po.find('\0') != std::string_view::npos;
  bool in_msgid = false, has_msgid = false, in_msgstr = false;
  bool selected = false;
  while (!po.empty()) {
    const size_t end = po.find('\n');
    const std::string_view line =
        end == std::string_view::npos ? po : po.substr(0, end + 1);
    po.remove_prefix(line.size());
    const std::string_view rest =
        line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
    const size_t quote = line.find('"');
    if (rest.starts_with('#')) {
      e.text += line;
    } else if (rest.starts_with("msgid") || rest.starts_with("msgctxt")) {
      has_msgid = quote != std::string_view::npos &&
                  (quote + 1 == line.size() || line[quote + 1] != '"');
      in_msgid = true;
      in_msgstr = false;
      e.text += line;
    } else if (in_msgid && rest.starts_with('"')) {
      has_msgid = true;
      e.text += line;
    } else if (rest.starts_with("msgstr")) {
      const std::string_view after = rest.substr(6);
      const size_t after_quote = after.find('"');
      selected =
          language == nullptr || (after_quote != std::string_view::npos &&
                                  after.find(language) <= after_quote);
      if (selected && has_msgid && quote != std::string_view::npos) {
        e.text += line.substr(0, quote);
        e.text += joined(line.substr(quote));
        e.merge_fails |= strict && !string_run(joined(line.substr(quote)));
      } else {
        e.text += line;
      }
      in_msgid = false;
      in_msgstr = true;
    } else if (in_msgstr && rest.starts_with('"')) {
      e.text += has_msgid && selected ? joined(rest) : std::string(line);
      e.merge_fails |=
          strict && has_msgid && selected && !string_run(joined(rest));
    } else if (rest.starts_with('\n')) {
      e.text += '\n';
    } else {
      e.fails = e.fails || strict;
      e.text += line;
    }
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool strict = (data[0] & 1) != 0;
  static const char* const languages[] = {nullptr, "1", "de", ""};
  const char* language = languages[(data[0] >> 1) & 3];
  const std::string po(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Expected want = expected(po, strict, language);

  MemoryStreams extraction;
  const bool extracted = survives(&extraction, [&](MemoryStreams* s) {
    extract_translations(s->input(po), nullptr, s->output(), strict, language);
  });
  if (extracted == want.fails) {
    broken(extracted ? "extraction should have failed" : "extraction failed",
           po, want.text, "");
  }
  if (!extracted) {
    return 0;
  }
  const std::string spellfile = extraction.text();
  MemoryStreams merge;
  const bool merged = survives(&merge, [&](MemoryStreams* s) {
    merge_translations(s->input(po), s->input(spellfile), s->output(), strict,
                       language);
  });
  if (merged == want.merge_fails) {
    broken(merged ? "merge of a malformed translation should have failed"
                  : "merge of an unchanged spellfile failed",
           po, want.text, spellfile);
  }
  if (!merged) {
    return 0;
  }
  if (merge.text() != want.text) {
    broken("round trip changed the PO text", po, want.text, merge.text());
  }
  return 0;
}
