// Entry point of postproof: hands the body of a message to a program.
#include "postproof.h"
#include "support.h"

namespace {

void bound_extract(const void* settings, FILE* input, FILE* copy, FILE* work) {
  extract_body(input, copy, work, *static_cast<const body_settings*>(settings));
}

void bound_merge(const void* settings, FILE* reread, FILE* work, FILE* output) {
  merge_body(reread, work, output,
             *static_cast<const body_settings*>(settings));
}

}  // namespace

int main(int argc, char** argv) {
  body_options options;
  char** child_argv = parse_body_command_line(argc, argv, &options);
  const body_settings settings = {.strip_header = !options.keep_whole_header,
                                  .quotes = options.quotes,
                                  .signature = options.signature,
                                  .kept_headers = options.kept_headers};
  const edit_ops ops = {
      .extract = bound_extract, .merge = bound_merge, .settings = &settings};
  run_edit_cycle(options.target, child_argv, options.filter, ops);
  return 0;
}
