// What the command lines of both tools share: the version line and the
// answer to an option the parser rejects.
#include <stdlib.h>

#include "support.h"

void print_version() {
  if (printf("%s (textmend) 0.7\n", tool_name) < 0 || fflush(stdout) != 0) {
    fatal(FATAL_ERRNO, _("writing file"));
  }
  exit(0);
}

void reject_option(int option, void (*usage)()) {
  if (option == ':' || option == '?') {
    usage();
  }
  fatal(0, _("getopt returned impossible value: %d ('%c')"), option, option);
}
