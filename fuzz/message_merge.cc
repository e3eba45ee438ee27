// Property: the merge of any message with any bodyfile ends, within the
// input's bounds, either with output or through fatal.
// First byte: the settings as in message_round_trip; second byte: the
// message's share of the rest, in 256ths.
#include <stdint.h>

#include <string>

#include "harness.h"
#include "postproof.h"

const char tool_name[] = "postproof";

namespace {

kept_header from = {"From", nullptr};
kept_header subject = {"Subject", &from};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  const body_settings settings = {
      .strip_header = (data[0] & 1) == 0,
      .quotes = (data[0] & 2) != 0,
      .signature = (data[0] & 4) != 0,
      .kept_headers = (data[0] & 8) != 0 ? &subject : nullptr};
  const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t split = rest.size() * data[1] / 256;
  const std::string message = rest.substr(0, split);
  const std::string bodyfile = rest.substr(split);
  MemoryStreams merge;
  survives(&merge, [&](MemoryStreams* s) {
    merge_body(s->input(message), s->input(bodyfile), s->output(), settings);
  });
  return 0;
}
