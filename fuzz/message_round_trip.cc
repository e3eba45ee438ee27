// Property: for any message that has an empty line after its header (or any
// text at all with -h), extraction followed by the merge of the unchanged
// bodyfile gives the message back byte for byte, under every combination of
// settings.
// First byte: bit 0 -h, bit 1 -q, bit 2 -s, bits 3-4 the keep list.
#include <stdint.h>

#include <string>

#include "harness.h"
#include "postproof.h"

const char tool_name[] = "postproof";

namespace {

kept_header from = {"From", nullptr};
kept_header subject = {"Subject", nullptr};
kept_header subject_and_from = {"subject", &from};
kept_header empty_name = {"", nullptr};
const kept_header* const keep_lists[] = {nullptr, &subject, &subject_and_from,
                                         &empty_name};

bool has_empty_line(const std::string& text) {
  return text.starts_with('\n') || text.find("\n\n") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const body_settings settings = {
      .strip_header = (data[0] & 1) == 0,
      .quotes = (data[0] & 2) != 0,
      .signature = (data[0] & 4) != 0,
      .kept_headers = keep_lists[(data[0] >> 3) & 3]};
  const std::string message(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool zero_byte = message.find('\0') != std::string::npos;
  if (settings.strip_header && !has_empty_line(message)) {
    return 0;
  }
  MemoryStreams extraction;
  const bool extracted = survives(&extraction, [&](MemoryStreams* s) {
    extract_body(s->input(message), nullptr, s->output(), settings);
  });
  // A zero byte must stop the extraction or, when it stands in the
  // signature that the extraction leaves unread, the merge.
  if (!extracted && !zero_byte) {
    broken("extraction failed", message, "", "");
  }
  if (!extracted) {
    return 0;
  }
  const std::string bodyfile = extraction.text();
  MemoryStreams merge;
  const bool merged = survives(&merge, [&](MemoryStreams* s) {
    merge_body(s->input(message), s->input(bodyfile), s->output(), settings);
  });
  if (merged == zero_byte) {
    broken(merged ? "a zero byte went through"
                  : "merge of an unchanged bodyfile failed",
           message, "", bodyfile);
  }
  if (!merged) {
    return 0;
  }
  if (merge.text() != message) {
    broken("round trip changed the message", message, message, merge.text());
  }
  return 0;
}
