// What the command lines of both tools share: the option parser with
// --help and --version, the version line, the usage text and the answer to
// an option the parser rejects.
#include <getopt.h>
#include <stdlib.h>

#include "support.h"

void print_version() {
  if (printf("%s (textmend) 0.7\n", tool_name) < 0 || fflush(stdout) != 0) {
    fatal(FATAL_ERRNO, _("writing file"));
  }
  exit(0);
}

int next_option(int argc, char** argv, const char* short_options) {
  static const option long_options[] = {
      {"help", no_argument, nullptr, OPTION_HELP},
      {"version", no_argument, nullptr, OPTION_VERSION},
      {nullptr, 0, nullptr, 0}};
  return getopt_long(argc, argv, short_options, long_options, nullptr);
}

void print_usage(const char* text, bool asked) {
  if (!asked) {
    fputs(text, stderr);
    exit(1);
  }
  if (fputs(text, stdout) == EOF || fflush(stdout) != 0) {
    fatal(FATAL_ERRNO, _("writing file"));
  }
  exit(0);
}

void reject_option(int option, void (*usage)(bool asked)) {
  if (option == OPTION_HELP) {
    usage(true);
  }
  if (option == OPTION_VERSION) {
    print_version();
  }
  if (option == ':' || option == '?') {
    usage(false);
  }
  fatal(0, _("getopt returned impossible value: %d ('%c')"), option, option);
}
