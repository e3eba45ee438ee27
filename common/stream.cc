// Line reader and stream operations that end the run on failure.
#include <errno.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include "support.h"

char* read_line(char* buffer, size_t* capacity, FILE* stream) {
  if (buffer == nullptr || *capacity < 256) {
    buffer = static_cast<char*>(realloc_or_die(buffer, 1024));
    *capacity = 1024;
  }
  // getline grows the buffer as a line needs and, unlike fgets, tells how
  // many bytes it read, which is how a zero byte inside a line shows.
  errno = 0;
  const ssize_t length = getline(&buffer, capacity, stream);
  if (length < 0) {
    if (ferror(stream)) {
      fatal(FATAL_ERRNO, _("reading file"));
    }
    if (errno == ENOMEM) {
      fatal(0, _("could not allocate memory"));
    }
    free(buffer);
    *capacity = 0;
    return nullptr;
  }
  if (memchr(buffer, '\0', static_cast<size_t>(length)) != nullptr) {
    fatal(0, _("found a zero byte in the input; only text can be handled"));
  }
  return buffer;
}

void put_text(const char* text, FILE* stream) {
  if (fputs(text, stream) == EOF) {
    fatal(FATAL_ERRNO, _("writing file"));
  }
}

void use_without_locking(FILE* stream) {
  __fsetlocking(stream, FSETLOCKING_BYCALLER);
}

FILE* open_for_reading(const char* path) {
  FILE* stream = fopen(path, "re");
  if (stream == nullptr) {
    fatal(FATAL_ERRNO, _("open %s for reading"), path);
  }
  use_without_locking(stream);
  return stream;
}

FILE* open_for_writing(const char* path) {
  FILE* stream = fopen(path, "we");
  if (stream == nullptr) {
    fatal(FATAL_ERRNO, _("open %s for writing"), path);
  }
  use_without_locking(stream);
  return stream;
}

void close_stream(FILE* stream) {
  if (fclose(stream) != 0) {
    fatal(FATAL_ERRNO, _("closing file"));
  }
}

char* make_temp_name() {
  // The file is created here, exclusively and with mode 0600, so that no
  // other process can place a file of its own under the name first; the
  // callers open it again by name.
  char* name = static_cast<char*>(alloc_or_die(256));
  snprintf(name, 256, "%s/textmend-XXXXXX", P_tmpdir);
  const int fd = mkostemp(name, O_CLOEXEC);
  if (fd < 0) {
    fatal(FATAL_ERRNO, _("making temporary filename"));
  }
  if (close(fd) != 0) {
    fatal(FATAL_ERRNO, _("closing file"));
  }
  return name;
}

void remove_file(const char* path) {
  if (unlink(path) == -1) {
    fatal(FATAL_ERRNO, _("unlink %s"), path);
  }
}
