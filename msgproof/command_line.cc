// The PO tool's command line.
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include "msgproof.h"
#include "support.h"

const char tool_name[] = "msgproof";

namespace {

[[noreturn]] void usage(bool asked) {
  // The usage text is no format: its %f and %% are shown as they are.
  // xgettext:no-c-format
  print_usage(
      _("Usage: msgproof [-fsv] [-l language] -n pofile -p program\n"
        "       [-- [program-arguments...]]\n"
        "\n"
        "Copies all translated strings from `pofile' to a temporary\n"
        "file (the `spellfile') and then calls the program `program'\n"
        "(typically a spell checker) with all `program-arguments'.\n"
        "Afterwards the possibly changed translation is copied back\n"
        "into the `pofile'.\n"
        "\n"
        "If `pofile' is specified as `-', msgproof will use its standard\n"
        "input and standard output.\n"
        "\n"
        "`%f' in the `program arguments' will be expanded to the name of\n"
        "the `spellfile'. Use `%%' for a real `%' character.\n"
        "\n"
        "The flags mean:\n"
        " -f: The called program is a filter so don't make a temporary\n"
        "     file, but pipe `spellfile' to the standard input of the\n"
        "     `program' and later read it back from its standard output.\n"
        " -l language: Only translations with the indicated language code\n"
        "     are copied to the `spellfile'.\n"
        " -s: quit with an error message if the `pofile' or `spellfile'\n"
        "     have unrecognized formats.\n"
        " -v: Print version and exit.\n"),
      asked);
}

}  // namespace

char** parse_po_command_line(int argc, char** argv, po_options* options) {
  setlocale(LC_ALL, "");
  bindtextdomain("textmend", TEXTMEND_LOCALEDIR);
  textdomain("textmend");

  // The leading + keeps getopt from reordering: everything from the first
  // non-option on belongs to the program.
  int option;
  while ((option = next_option(argc, argv, "+fl:n:p:sv")) != -1) {
    switch (option) {
    case 'f':
      options->filter = true;
      break;
    case 'l':
      if (options->language != nullptr) {
        fatal(0, _("only one -l option is allowed"));
      }
      options->language = optarg;
      break;
    case 'n':
      options->target = optarg;
      break;
    case 'p':
      options->program = optarg;
      break;
    case 's':
      options->strict = true;
      break;
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
