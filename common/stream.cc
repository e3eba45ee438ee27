// Line reader and stream operations that end the run on failure.
#include <errno.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include "support.h"

namespace {

// The input a stream has buffered but not yet handed out, and the room
// left in its output buffer, in the way gnulib's freadptr reaches them.
// The line reader and put_text copy whole runs of bytes through these
// instead of making a stdio call for each line or character; elsewhere
// they see nothing and fall back on the plain calls.
size_t buffered_input(FILE* stream, const char** begin) {
#if defined(__GLIBC__)
  *begin = stream->_IO_read_ptr;
  return static_cast<size_t>(stream->_IO_read_end - stream->_IO_read_ptr);
#else
  *begin = nullptr;
  return 0;
#endif
}

void consume_input(FILE* stream, size_t size) {
#if defined(__GLIBC__)
  stream->_IO_read_ptr += size;
#else
  (void)stream;
  (void)size;
#endif
}

// Copies `text` into the stream's buffer if it fits; returns false if not.
// Line-buffered and unbuffered streams never have room, so they still flush
// as they should.
bool put_buffered(const char* text, size_t size, FILE* stream) {
#if defined(__GLIBC__)
  char* at = stream->_IO_write_ptr;
  if (static_cast<size_t>(stream->_IO_write_end - at) >= size) {
    memcpy(at, text, size);
    stream->_IO_write_ptr = at + size;
    return true;
  }
#else
  (void)text;
  (void)size;
  (void)stream;
#endif
  return false;
}

constexpr size_t stream_buffer_size = 128 * 1024;

// Makes the line buffer hold at least `needed` bytes, growing it in steps
// of 1024.
char* make_room(char* buffer, size_t* room, size_t needed) {
  if (needed <= *room) {
    return buffer;
  }
  while (*room < needed) {
    *room += 1024;
  }
  return static_cast<char*>(realloc_or_die(buffer, *room));
}

[[noreturn]] void zero_byte() {
  fatal(0, _("found a zero byte in the input; only text can be handled"));
}

}  // namespace

char* read_line(char* buffer, size_t* capacity, FILE* stream) {
  size_t room = *capacity;  // a local: stores into the line cannot alias it
  if (buffer == nullptr || room < 256) {
    room = 1024;
    buffer = static_cast<char*>(realloc_or_die(buffer, room));
  }
  size_t used = 0;
  for (;;) {
    // Take what the stream has buffered in one piece, up to the newline.
    const char* run;
    size_t size = buffered_input(stream, &run);
    if (size > 0) {
      const void* newline = memchr(run, '\n', size);
      if (newline != nullptr) {
        size = static_cast<size_t>(static_cast<const char*>(newline) - run) + 1;
      }
      if (memchr(run, '\0', size) != nullptr) {
        zero_byte();
      }
      buffer = make_room(buffer, &room, used + size + 1);
      memcpy(buffer + used, run, size);
      used += size;
      consume_input(stream, size);
      if (newline != nullptr) {
        break;
      }
      continue;
    }
    // The buffer is empty: getc fills it again, or tells the end.
    const int c = getc_unlocked(stream);
    if (c == EOF) {
      if (ferror(stream)) {
        fatal(FATAL_ERRNO, _("reading file"));
      }
      if (used == 0) {
        free(buffer);
        *capacity = 0;
        return nullptr;
      }
      break;
    }
    if (c == '\0') {
      zero_byte();
    }
    buffer = make_room(buffer, &room, used + 2);
    buffer[used++] = static_cast<char>(c);
    if (c == '\n') {
      break;
    }
  }
  buffer[used] = '\0';
  *capacity = room;
  return buffer;
}

void put_text(const char* text, FILE* stream) {
  put_bytes(text, strlen(text), stream);
}

void put_bytes(const char* text, size_t size, FILE* stream) {
  if (put_buffered(text, size, stream)) {
    return;
  }
  if (fwrite(text, 1, size, stream) != size) {
    fatal(FATAL_ERRNO, _("writing file"));
  }
}

void prepare_stream(FILE* stream) {
  __fsetlocking(stream, FSETLOCKING_BYCALLER);
  // A larger buffer than the file system's block size saves system calls;
  // it lives as long as the process.
  if (setvbuf(stream, static_cast<char*>(alloc_or_die(stream_buffer_size)),
              _IOFBF, stream_buffer_size) != 0) {
    fatal(FATAL_ERRNO, _("setting up a stream buffer"));
  }
}

FILE* open_for_reading(const char* path) {
  FILE* stream = fopen(path, "re");
  if (stream == nullptr) {
    fatal(FATAL_ERRNO, _("open %s for reading"), path);
  }
  prepare_stream(stream);
  return stream;
}

FILE* open_for_writing(const char* path) {
  FILE* stream = fopen(path, "we");
  if (stream == nullptr) {
    fatal(FATAL_ERRNO, _("open %s for writing"), path);
  }
  prepare_stream(stream);
  return stream;
}

void close_stream(FILE* stream) {
  if (fclose(stream) != 0) {
    fatal(FATAL_ERRNO, _("closing file"));
  }
}

FILE* open_temp_file(char** name) {
  // Created exclusively and with mode 0600, so that no other process can
  // place a file of its own under the name first or read the text, and
  // written through the descriptor that created it.
  *name = static_cast<char*>(alloc_or_die(256));
  snprintf(*name, 256, "%s/textmend-XXXXXX", P_tmpdir);
  const int fd = mkostemp(*name, O_CLOEXEC);
  if (fd < 0) {
    fatal(FATAL_ERRNO, _("making temporary filename"));
  }
  FILE* stream = fdopen(fd, "w");
  if (stream == nullptr) {
    fatal(FATAL_ERRNO, _("open %s for writing"), *name);
  }
  prepare_stream(stream);
  return stream;
}

void remove_file(const char* path) {
  if (unlink(path) == -1) {
    fatal(FATAL_ERRNO, _("unlink %s"), path);
  }
}
