// Line reader and stream operations that end the run on failure.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include <string_view>

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

// Makes `buffer`, of `*room` bytes, a line buffer that holds at least
// `needed` bytes: 1024 bytes at first (also for a null buffer, or one too
// small to be of use), more by make_room.
char* line_buffer(char* buffer, size_t* room, size_t needed) {
  if (buffer == nullptr || *room < 256) {
    *room = 1024;
    buffer = static_cast<char*>(realloc_or_die(buffer, *room));
  }
  return make_room(buffer, room, needed);
}

[[noreturn]] void zero_byte() {
  fatal(0, _("found a zero byte in the input; only text can be handled"));
}

}  // namespace

size_t copy_until_either(const char* text, size_t size, char* out, char a,
                         char b) {
  size_t at = 0;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(a);
  const __m128i second = _mm_set1_epi8(b);
  // The bytes `a` and `b` among the 16 at `from`, a bit each, which are
  // copied as they are looked at.
  const auto copy_block = [&](size_t from) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + from), block);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, first), _mm_cmpeq_epi8(block, second))));
  };
  for (; size - at >= 16; at += 16) {
    if (const unsigned found = copy_block(at)) {
      return at + static_cast<size_t>(__builtin_ctz(found));
    }
  }
  if (at < size && size >= 16) {
    // The last block ends at the end: it looks at some bytes again, which
    // hold neither, and copies them again, rather than going byte by byte.
    const unsigned found = copy_block(size - 16);
    return found != 0 ? size - 16 + static_cast<size_t>(__builtin_ctz(found))
                      : size;
  }
#endif
  for (; at < size && text[at] != a && text[at] != b; at++) {
    out[at] = text[at];
  }
  return at;
}

namespace {

// Returns the first byte of the `size` bytes at `text` that is `a` or `b`,
// or `text + size` when there is none.
const char* find_either(const char* text, size_t size, char a, char b) {
  const char* const end = text + size;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(a);
  const __m128i second = _mm_set1_epi8(b);
  for (; end - text >= 16; text += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const int found = _mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, first), _mm_cmpeq_epi8(block, second)));
    if (found != 0) {
      return text + __builtin_ctz(static_cast<unsigned>(found));
    }
  }
#endif
  while (text < end && *text != a && *text != b) {
    text++;
  }
  return text;
}

// Returns where the line that starts at `text` ends within the `size` bytes
// there: at its newline or at a zero byte, whichever comes first, or at
// `text + size` when neither does.
const char* find_line_end(const char* text, size_t size) {
  return find_either(text, size, '\n', '\0');
}

// The slow way of next_line, for a line that the stream's buffer does not
// hold whole: its pieces are gathered in the reader's own buffer, which
// keeps room for a terminator after the line.
std::string_view gather_line(line_reader* reader) {
  FILE* const stream = reader->stream;
  size_t room = reader->capacity;  // a local: stores into the line cannot
  char* own = line_buffer(reader->own, &room, 0);  // alias it
  size_t used = 0;
  for (;;) {
    const char* run;
    const size_t size = buffered_input(stream, &run);
    if (size > 0) {
      const char* end = find_line_end(run, size);
      const bool complete = end < run + size;
      if (complete && *end == '\0') {
        zero_byte();
      }
      const size_t taken = static_cast<size_t>(end - run) + complete;
      own = make_room(own, &room, used + taken + 1);
      memcpy(own + used, run, taken);
      used += taken;
      consume_input(stream, taken);
      if (complete) {
        break;
      }
      continue;
    }
    // The stream's buffer is empty: getc fills it again, or tells the end.
    const int c = getc_unlocked(stream);
    if (c == EOF) {
      if (ferror(stream)) {
        fatal(FATAL_ERRNO, _("reading file"));
      }
      break;
    }
    if (c == '\0') {
      zero_byte();
    }
    own = make_room(own, &room, used + 2);
    own[used++] = static_cast<char>(c);
    if (c == '\n') {
      break;
    }
  }
  reader->own = own;
  reader->capacity = room;
  return {own, used};
}

// The newlines and zero bytes among the 64 bytes at `text`, a bit each.
uint64_t line_ends_in_chunk(const char* text) {
  uint64_t ends = 0;
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  for (int part = 0; part < 4; part++) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * part));
    const int found = _mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, newline), _mm_cmpeq_epi8(block, zero)));
    ends |= static_cast<uint64_t>(static_cast<unsigned>(found)) << (16 * part);
  }
#else
  for (int at = 0; at < 64; at++) {
    if (text[at] == '\n' || text[at] == '\0') {
      ends |= uint64_t{1} << at;
    }
  }
#endif
  return ends;
}

// Hands out the line from `run`, the stream's next byte, to `end`, its
// newline or a zero byte.
inline std::string_view take_line(line_reader* reader, const char* run,
                                  const char* end) {
  if (*end == '\0') {
    zero_byte();
  }
  const size_t length = static_cast<size_t>(end - run) + 1;
  consume_input(reader->stream, length);
  reader->next = end + 1;
  return {run, length};
}

// Returns the end of the next line among the chunks of the stream's buffer
// that the reader looks at, moving on to the next chunk where needed, or
// null once the bytes left are fewer than a chunk.
inline const char* next_line_end(line_reader* reader) {
  while (reader->ends == 0) {
    if (reader->limit - reader->chunk < 128) {
      return nullptr;
    }
    reader->chunk += 64;
    reader->ends = line_ends_in_chunk(reader->chunk);
  }
  const char* end = reader->chunk + __builtin_ctzll(reader->ends);
  reader->ends &= reader->ends - 1;
  return end;
}

// next_line where the reader looks at the stream's buffer afresh from its
// next byte: at the first line, after the buffer was filled again, and for
// its last bytes, fewer than a chunk, where a line may reach past it. Kept
// out of line, so that the chunk path stays small.
[[gnu::noinline]] std::string_view next_line_afresh(line_reader* reader) {
  const char* run;
  const size_t size = buffered_input(reader->stream, &run);
  reader->limit = run + size;
  reader->chunk = run;
  reader->ends = size >= 64 ? line_ends_in_chunk(run) : 0;
  if (const char* end = next_line_end(reader)) {
    return take_line(reader, run, end);
  }
  const char* end = find_line_end(run, size);
  if (end < run + size) {
    return take_line(reader, run, end);
  }
  // The buffer is filled again, and the lines kept from it go first.
  flush_kept(reader);
  reader->next = nullptr;
  return gather_line(reader);
}

}  // namespace

std::string_view next_line_in_chunks(line_reader* reader) {
  // Most lines lie whole in the stream's buffer and are handed out there.
  // The line ends are found 64 bytes at a time and kept as bits, so that
  // the lines of a chunk cost a bit each rather than a search each.
  const char* run;
  const size_t size = buffered_input(reader->stream, &run);
  if (run == reader->next && run + size == reader->limit) {
    if (const char* end = next_line_end(reader)) {
      return take_line(reader, run, end);
    }
  }
  return next_line_afresh(reader);
}

void keep_line(line_reader* reader, std::string_view line, FILE* output) {
  if (reader->kept + reader->kept_size == line.data() &&
      reader->kept_to == output) {
    reader->kept_size += line.size();
    return;
  }
  flush_kept(reader);
  reader->kept_to = output;
  reader->kept = line.data();
  reader->kept_size = line.size();
}

void flush_kept(line_reader* reader) {
  if (reader->kept_size > 0) {
    put_bytes(reader->kept, reader->kept_size, reader->kept_to);
    reader->kept_size = 0;
  }
}

char* read_line(char* buffer, size_t* capacity, FILE* stream) {
  size_t length;
  return read_line(buffer, capacity, stream, &length);
}

char* read_line(char* buffer, size_t* capacity, FILE* stream, size_t* length) {
  line_reader reader = {stream, buffer, *capacity};
  const std::string_view line = next_line(&reader);
  if (line.empty()) {
    free(reader.own);
    *capacity = 0;
    *length = 0;
    return nullptr;
  }
  if (line.data() != reader.own) {
    reader.own = line_buffer(reader.own, &reader.capacity, line.size() + 1);
    memcpy(reader.own, line.data(), line.size());
  }
  reader.own[line.size()] = '\0';
  *capacity = reader.capacity;
  *length = line.size();
  return reader.own;
}

void put_text(const char* text, FILE* stream) {
  put_bytes(text, strlen(text), stream);
}

char* output_room(FILE* stream, size_t size) {
  // Line-buffered and unbuffered streams never have room, so they still
  // flush as they should.
#if defined(__GLIBC__)
  char* at = stream->_IO_write_ptr;
  if (static_cast<size_t>(stream->_IO_write_end - at) >= size) {
    return at;
  }
#else
  (void)stream;
  (void)size;
#endif
  return nullptr;
}

void commit_output(FILE* stream, size_t size) {
#if defined(__GLIBC__)
  stream->_IO_write_ptr += size;
#else
  (void)stream;
  (void)size;
#endif
}

void put_bytes(const char* text, size_t size, FILE* stream) {
  if (char* room = output_room(stream, size)) {
    memcpy(room, text, size);
    commit_output(stream, size);
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
