// Properties: the merge of any PO text with any spellfile ends, within the
// input's bounds, either with output or through fatal; and deleting any one
// marker line of the unchanged spellfile of any PO text makes it fail.
// First byte: bit 0 strict mode, bits 1-2 the language; second byte: the PO
// text's share of the rest, in 256ths.
#include <stdint.h>

#include <string>

#include "harness.h"
#include "msgproof.h"

const char tool_name[] = "msgproof";

namespace {

bool merges(const std::string& po, const std::string& spellfile, bool strict,
            const char* language) {
  MemoryStreams merge;
  return survives(&merge, [&](MemoryStreams* s) {
    merge_translations(s->input(po), s->input(spellfile), s->output(), strict,
                       language);
  });
}

// Deletes each marker line of the unchanged spellfile of `po` in turn (the
// first 32); every one must make the merge fail.
void check_deleted_markers(const std::string& po, bool strict,
                           const char* language) {
  MemoryStreams extraction;
  if (!survives(&extraction, [&](MemoryStreams* s) {
        extract_translations(s->input(po), nullptr, s->output(), strict,
                             language);
      })) {
    return;
  }
  const std::string spellfile = extraction.text();
  int tried = 0;
  for (size_t at = 0; at < spellfile.size() && tried < 32;) {
    size_t end = spellfile.find('\n', at);
    end = end == std::string::npos ? spellfile.size() : end + 1;
    if (is_marker_kind(spellfile[at])) {
      tried++;
      const std::string edited =
          spellfile.substr(0, at) + spellfile.substr(end);
      if (merges(po, edited, strict, language)) {
        broken("merge without a marker line succeeded", po, "a failure",
               edited);
      }
    }
    at = end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  const bool strict = (data[0] & 1) != 0;
  static const char* const languages[] = {nullptr, "1", "de", ""};
  const char* language = languages[(data[0] >> 1) & 3];
  const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t split = rest.size() * data[1] / 256;
  const std::string po = rest.substr(0, split), spellfile = rest.substr(split);
  merges(po, spellfile, strict, language);
  check_deleted_markers(po, strict, language);
  return 0;
}
