// Line reader and stream operations that end the run on failure.
#include <errno.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Makes the line buffer hold at least `needed` bytes. It grows in steps of
// 1024 bytes, and by half its size once it is large, so that a line of any
// length is read in linear time with a handful of allocations.
char* make_room(char* buffer, size_t* room, size_t needed) {
  if (needed <= *room) {
    return buffer;
  }
  size_t grown = *room + (*room / 2 > 1024 ? *room / 2 : 1024);
  if (grown < needed) {
    grown = needed;
  }
  *room = (grown + 1023) / 1024 * 1024;
  return static_cast<char*>(realloc_or_die(buffer, *room));
}

[[noreturn]] void zero_byte() {
  fatal(0, _("found a zero byte in the input; only text can be handled"));
}

// Copies the run at `text` to `out` up to and including its first newline,
// or all `size` bytes when there is none, and returns the length copied;
// sets `*complete` to whether a newline ended it. `out` must have room for
// `size` bytes. A zero byte before the end of the run ends the tool: lines
// are handled as zero-terminated strings. One pass looks for both and
// copies as it goes.
size_t copy_run(const char* text, size_t size, char* out, bool* complete) {
  size_t at = 0;
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  for (; at + 16 <= size; at += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), block);
    const int found = _mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, newline), _mm_cmpeq_epi8(block, zero)));
    if (found != 0) {
      at += static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(found)));
      break;
    }
  }
#endif
  for (; at < size && text[at] != '\n' && text[at] != '\0'; at++) {
    out[at] = text[at];
  }
  if (at < size && text[at] == '\0') {
    zero_byte();
  }
  *complete = at < size;
  if (*complete) {
    out[at++] = '\n';
  }
  return at;
}

}  // namespace

char* read_line(char* buffer, size_t* capacity, FILE* stream) {
  size_t length;
  return read_line(buffer, capacity, stream, &length);
}

char* read_line(char* buffer, size_t* capacity, FILE* stream, size_t* length) {
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
      // Copy as much as the line buffer holds (keeping room for the
      // terminator); a longer line makes it grow and goes on.
      if (used + 1 >= room) {
        buffer = make_room(buffer, &room, used + 2);
      }
      if (size > room - used - 1) {
        size = room - used - 1;
      }
      bool complete;
      size = copy_run(run, size, buffer + used, &complete);
      used += size;
      consume_input(stream, size);
      if (complete) {
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
        *length = 0;
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
  *length = used;
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
