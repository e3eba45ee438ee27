// The body tool's command line.
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include "postproof.h"
#include "support.h"

const char tool_name[] = "postproof";

namespace {

[[noreturn]] void usage(bool asked) {
  // The usage text is no format: its %f and %% are shown as they are.
  // xgettext:no-c-format
  print_usage(
      _("Usage: postproof [-fhqsv] [-k headername] -n message -p program\n"
        "       [-- [program-arguments...]]\n"
        "\n"
        "Copies the body of the e-mail or usenet message in `message'\n"
        "to a temporary file (the `bodyfile') and then calls the program\n"
        "`program' (e.g. a spell checker) with all `program-arguments'.\n"
        "Afterwards the possibly changed `bodyfile' is copied back into\n"
        "the `message'.\n"
        "\n"
        "If `message' is specified as `-', postproof will use its\n"
        "standard input and standard output.\n"
        "\n"
        "`%f' in the `program arguments' will be expanded to the name of\n"
        "the `bodyfile'. Use `%%' for a real `%' character.\n"
        "\n"
        "The flags mean:\n"
        " -f: The called program is a filter so don't make a temporary\n"
        "     file, but pipe `bodyfile' to the standard input of the\n"
        "     `program' and later read it back from its standard output.\n"
        " -h: keep the entire header. This flag should also be used\n"
        "     if 'message' doesn't have a header at all.\n"
        " -k headername: keep these header lines in the `bodyfile'.\n"
        "     (Multiple -k flags are allowed).\n"
        " -q: Also remove quotes from the `bodyfile'.\n"
        "     Lines starting with `>' are considered quotes.\n"
        " -s: Also remove signature from the `bodyfile'.\n"
        "     The signature is all lines from the first signature "
        "separator\n"
        "     (i.e. `-- ') to the bottom of the message.\n"
        " -v: Print version and exit.\n"),
      asked);
}

}  // namespace

char** parse_body_command_line(int argc, char** argv, body_options* options) {
  // Only the messages follow the locale: header names are compared in
  // ASCII whatever it is.
  setlocale(LC_ALL, "");
  bindtextdomain("textmend", TEXTMEND_LOCALEDIR);
  textdomain("textmend");

  // The leading + keeps getopt from reordering: everything from the first
  // non-option on belongs to the program.
  int option;
  while ((option = next_option(argc, argv, "+qsfhn:p:k:v")) != -1) {
    switch (option) {
    case 'q':
      options->quotes = true;
      break;
    case 's':
      options->signature = true;
      break;
    case 'f':
      options->filter = true;
      break;
    case 'h':
      options->keep_whole_header = true;
      break;
    case 'n':
      options->target = optarg;
      break;
    case 'p':
      options->program = optarg;
      break;
    case 'k': {
      auto* node = static_cast<kept_header*>(alloc_or_die(sizeof(kept_header)));
      *node = {optarg, options->kept_headers};
      options->kept_headers = node;
      break;
    }
    case 'v':
      print_version();
    default:
      reject_option(option, usage);
    }
  }
  if (options->target == nullptr || options->program == nullptr) {
    usage(false);
  }
  return build_child_argv(options->program, argc, argv, optind);
}
