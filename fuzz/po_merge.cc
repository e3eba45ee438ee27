// Property: the merge of any PO text with any spellfile ends, within the
// input's bounds, either with output or through fatal.
// First byte: bit 0 strict mode; second byte: the PO text's share of the
// rest, in 256ths.
#include <stdint.h>

#include <string>

#include "harness.h"
#include "msgproof.h"

const char tool_name[] = "msgproof";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  const bool strict = (data[0] & 1) != 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t split = rest.size() * data[1] / 256;
  const std::string po = rest.substr(0, split), spellfile = rest.substr(split);
  MemoryStreams merge;
  survives(&merge, [&](MemoryStreams* s) {
    merge_translations(s->input(po), s->input(spellfile), s->output(), strict);
  });
  return 0;
}
