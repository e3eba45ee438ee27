// Support shared by both tools: failing, memory, streams, the child program
// and the edit cycle that hands a work text to it and merges the result.
#ifndef TEXTMEND_COMMON_SUPPORT_H
#define TEXTMEND_COMMON_SUPPORT_H

#include <libintl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string_view>

#define _(msgid) gettext(msgid)

inline constexpr int FATAL_ERRNO = 1;     // append the system's error text
inline constexpr int FATAL_IN_CHILD = 2;  // after fork: child label, _exit(128)

// "msgproof" or "postproof"; each program defines it.
extern const char tool_name[];

// Prints "tool: error: message[: system error]." on standard error and ends
// the process with status 1, or 128 in a child (without flushing stdio).
[[noreturn, gnu::format(printf, 2, 3)]] void fatal(int flags,
                                                   const char* format, ...);

// Prints "tool (textmend) 0.7" on standard output and ends the process with
// status 0.
[[noreturn]] void print_version();

// The values next_option returns for --help and --version.
inline constexpr int OPTION_HELP = 0x100;
inline constexpr int OPTION_VERSION = 0x101;

// getopt_long over `short_options` (which should begin with + so that the
// arguments are never reordered) and the long options --help and
// --version.
int next_option(int argc, char** argv, const char* short_options);

// Writes the usage text `text` as it is (it is no format): on standard
// output with status 0 when the user asked for it, otherwise on standard
// error with status 1.
[[noreturn]] void print_usage(const char* text, bool asked);

// Answers a value the option parser returned that the tool's own options
// do not cover: --help with `usage(true)`, --version with the version line,
// a missing argument or an unknown option (':' or '?', which the parser has
// already reported) with `usage(false)`; `usage` must end the process.
// Anything else is impossible.
[[noreturn]] void reject_option(int option, void (*usage)(bool asked));

// Makes the next fatal in this process call `check(context)` before it
// reports anything, once; null clears it. `check` may end the run with a
// report of its own, which then is the only one.
void call_before_failing(void (*check)(void*), void* context);

// malloc and realloc that end the run when memory runs out. A resize to 0
// bytes may return null.
void* alloc_or_die(size_t size);
void* realloc_or_die(void* block, size_t size);

// Returns the next line of `stream`, newline included (the last line of the
// input may lack it), in `buffer`, which may have moved; `*capacity` is the
// buffer's size. Pass null and 0 to start. At end of input frees the buffer,
// sets `*capacity` to 0 and returns null. A line holding a zero byte ends the
// run, since lines are handled as zero-terminated strings.
char* read_line(char* buffer, size_t* capacity, FILE* stream);
// The same, also setting `*length` to the line's length.
char* read_line(char* buffer, size_t* capacity, FILE* stream, size_t* length);

// Returns where the next `size` bytes written to `stream` go in its own
// buffer, or null when the buffer has less room (or the stream writes at
// once). A conversion may write there directly and then has commit_output
// add the bytes it wrote, which saves copying them.
char* output_room(FILE* stream, size_t size);
void commit_output(FILE* stream, size_t size);

// Reads the lines of a stream and hands each out where it lies, without
// copying it: in the stream's own buffer when the line is there whole,
// otherwise gathered in `own`. The reader reads no further ahead than the
// stream itself; while it is in use, the stream is read through it alone.
struct line_reader {
  FILE* stream;
  char* own = nullptr;  // for lines the stream's buffer did not hold whole
  size_t capacity = 0;  // of `own`; free `own` when done
  // Where the line ends in the stream's buffer are, as far as looked at:
  // the bits of `ends` are the newlines (and zero bytes) after `next`, the
  // stream's next byte, in the 64 bytes at `chunk`; `limit` is the end of
  // the buffered input.
  const char* next = nullptr;
  const char* limit = nullptr;
  const char* chunk = nullptr;
  uint64_t ends = 0;
  // Lines kept for `kept_to` and not yet written: `kept_size` bytes at
  // `kept`.
  FILE* kept_to = nullptr;
  const char* kept = nullptr;
  size_t kept_size = 0;
};

// next_line for all but its common case.
std::string_view next_line_in_chunks(line_reader* reader);

// Returns the next line of the reader's stream, newline included (the last
// line of the input may lack it), or an empty view at the end of input. The
// line stays valid until the stream is read again. A line holding a zero
// byte ends the run, as for read_line.
inline std::string_view next_line(line_reader* reader) {
  // The common case, inline as it comes for nearly every line: the line
  // ends where the reader has already found a newline in the stream's
  // buffer (which glibc lets a program see).
#if defined(__GLIBC__)
  FILE* const stream = reader->stream;
  const char* run = stream->_IO_read_ptr;
  if (reader->ends != 0 && run == reader->next &&
      stream->_IO_read_end == reader->limit) {
    const char* end = reader->chunk + __builtin_ctzll(reader->ends);
    if (*end != '\0') {
      reader->ends &= reader->ends - 1;
      stream->_IO_read_ptr = const_cast<char*>(end + 1);
      reader->next = end + 1;
      return {run, static_cast<size_t>(end + 1 - run)};
    }
  }
#endif
  return next_line_in_chunks(reader);
}

// Writes `line`, or the start of it, as the reader handed it out, to
// `output`. Lines kept one right after another in the stream's buffer are
// written together as one block: when a line that does not follow comes,
// before the reader fills the buffer again, or at flush_kept. Call
// flush_kept before writing anything else to `output`.
void keep_line(line_reader* reader, std::string_view line, FILE* output);
void flush_kept(line_reader* reader);

// Copies the `size` bytes at `text` to `out` up to the first that is `a` or
// `b`, or all of them when there is none, and returns how many it copied.
// `out` must have room for `size` bytes: the bytes after the copy may be
// overwritten.
size_t copy_until_either(const char* text, size_t size, char* out, char a,
                         char b);

// Writes a zero-terminated string.
void put_text(const char* text, FILE* stream);
// Writes the `size` bytes at `text`.
void put_bytes(const char* text, size_t size, FILE* stream);

// fopen for reading or for writing (create or truncate); the descriptor is
// not passed on to the child program.
FILE* open_for_reading(const char* path);
FILE* open_for_writing(const char* path);
void close_stream(FILE* stream);

// Creates a new empty file, readable and writable by the user alone, in the
// system's temporary directory, and returns a stream for writing it; sets
// `*name` to its name (never freed).
FILE* open_temp_file(char** name);
void remove_file(const char* path);

// Sets a new stream up for bulk text: used by one thread only, so that
// stdio takes no lock, and fully buffered with a large buffer.
void prepare_stream(FILE* stream);

// The child program's null-terminated argument vector: the program, then
// argv[optind] to argv[argc - 1].
char** build_child_argv(const char* program, int argc, char** argv, int optind);
// Replaces %f by `name` and %% by % in every entry after the program.
void expand_placeholders(char** child_argv, const char* name);

pid_t fork_or_die();
// Starts the program on the controlling terminal and returns at once.
void run_on_terminal(char** child_argv);
// Starts the program as a filter: `*to_child` is the descriptor that feeds
// its standard input, `*from_child` the one that carries its standard
// output. `*unread` is the tool's own descriptor on the read end of the
// pipe to the filter: what it still holds once the filter has ended, the
// filter never read.
void start_filter(char** child_argv, int* to_child, int* from_child,
                  int* unread);
// Waits for the program and returns its wait status.
int wait_for_child();
// Waits for the program; returns only if it exited with code 0.
void check_child_status(const char* program);
// Judges a wait status of the program as check_child_status does.
void judge_child_status(const char* program, int status);

// The user's file as the run first saw it. It is looked at once, before it
// is opened; everything later checks that it is still that file.
struct target_file {
  const char* name;       // as the user gave it, for messages
  const char* path;       // with every symbolic link resolved
  const char* directory;  // the directory that holds `path`
  struct stat status;     // of `path` when first looked at
};

// Resolves `name`, refuses anything but a regular file and a file whose
// directory does not let the tool put a replacement there, and records its
// state. Ends the run before any temporary file is made. Unless `input` is
// null, also opens the file twice for reading, `*input` for the extraction
// and `*reread` for the merge, so that both read the file looked at; a file
// replaced meanwhile is looked at again.
target_file examine_target(const char* name, FILE** input = nullptr,
                           FILE** reread = nullptr);
// Whether the target is still the file first looked at: no other file (or
// link) under its name, and the same size and modification time.
bool target_unchanged(const target_file& target);
// Whether `now`, the status of a file, is that of the target as first
// looked at.
bool same_as_examined(const target_file& target, const struct stat& now);
// Ends the run, saying that the target changed during the run and naming
// the temporary file `kept` that holds the run's work: the merged result
// when `merged`, otherwise the edited work text.
[[noreturn]] void report_target_changed(const target_file& target,
                                        const char* kept, bool merged);

// Replaces the target by the file `from` in one rename: the replacement is
// first made in the target's own directory (by rename, or by a copy when the
// temporary directory is on another file system) and given the target's
// owner, group, extended attributes and mode there. Afterwards `from` is
// gone. Other names of a hard-linked target keep the old contents.
void move_file(const char* from, const target_file& target);

// A tool's two conversions, bound to the tool's settings. extract reads
// `input` (copying every line to `copy` when given) and writes the work text;
// it closes `input` unless that is standard input, `copy` and `work`. merge
// reads the untouched input again with the edited work text and writes the
// result; it closes all three streams.
struct edit_ops {
  void (*extract)(const void* settings, FILE* input, FILE* copy, FILE* work);
  void (*merge)(const void* settings, FILE* reread, FILE* work, FILE* output);
  const void* settings;
};

// Extracts the work text of `target` ("-" for standard input and output),
// lets the program change it, merges and puts the result in place. Returns
// only on success.
void run_edit_cycle(const char* target, char** child_argv, bool filter,
                    const edit_ops& ops);

#endif  // TEXTMEND_COMMON_SUPPORT_H
