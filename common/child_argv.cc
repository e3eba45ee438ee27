// The child program's argument vector and its %f and %% placeholders.
#include <string.h>

#include "support.h"

char** build_child_argv(const char* program, int argc, char** argv,
                        int optind) {
  const int count = argc - optind;
  auto** child_argv =
      static_cast<char**>(alloc_or_die((count + 2) * sizeof(char*)));
  child_argv[0] = const_cast<char*>(program);
  for (int i = 0; i < count; i++) {
    child_argv[i + 1] = argv[optind + i];
  }
  child_argv[count + 1] = nullptr;
  return child_argv;
}

namespace {

// Returns a new string: `arg` with the two characters at `at` replaced by
// `name`.
char* insert_name(const char* arg, size_t at, const char* name) {
  const size_t arg_length = strlen(arg), name_length = strlen(name);
  char* expanded =
      static_cast<char*>(alloc_or_die(arg_length - 2 + name_length + 1));
  memcpy(expanded, arg, at);
  memcpy(expanded + at, name, name_length);
  memcpy(expanded + at + name_length, arg + at + 2, arg_length - at - 2 + 1);
  return expanded;
}

}  // namespace

void expand_placeholders(char** child_argv, const char* name) {
  for (char** entry = child_argv + 1; *entry != nullptr; entry++) {
    size_t i = 0;
    while (char* percent = strchr(*entry + i, '%')) {
      const size_t at = static_cast<size_t>(percent - *entry);
      if (percent[1] == '%') {
        memmove(percent + 1, percent + 2, strlen(percent + 2) + 1);
        i = at + 1;
      } else if (percent[1] == 'f') {
        *entry = insert_name(*entry, at, name);
        i = at + strlen(name);
      } else {
        i = at + 1;
      }
    }
  }
}
