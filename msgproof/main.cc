// Entry point of msgproof: hands the translations of a PO file to a program.
#include "msgproof.h"
#include "support.h"

namespace {

void bound_extract(const void* settings, FILE* input, FILE* copy, FILE* work) {
  const auto& o = *static_cast<const po_options*>(settings);
  extract_translations(input, copy, work, o.strict, o.language);
}

void bound_merge(const void* settings, FILE* reread, FILE* work, FILE* output) {
  const auto& o = *static_cast<const po_options*>(settings);
  merge_translations(reread, work, output, o.strict, o.language);
}

}  // namespace

int main(int argc, char** argv) {
  po_options options;
  char** child_argv = parse_po_command_line(argc, argv, &options);
  const edit_ops ops = {
      .extract = bound_extract, .merge = bound_merge, .settings = &options};
  run_edit_cycle(options.target, child_argv, options.filter, ops);
  return 0;
}
