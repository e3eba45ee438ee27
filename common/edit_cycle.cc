// The edit cycle: extract the work text, let the program change it, merge
// it with a second reading of the input, and put the result in place.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support.h"

namespace {

// Opens /dev/null on any of descriptors 0 to 2 that is closed, so that no
// file or pipe the cycle opens takes its place. In stdio mode standard input
// and output carry the text and must be open.
void keep_standard_descriptors_open(bool stdio) {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1) {
      continue;
    }
    if (stdio && fd == 0) {
      fatal(FATAL_ERRNO, _("standard input is not open"));
    }
    if (stdio && fd == 1) {
      fatal(FATAL_ERRNO, _("standard output is not open"));
    }
    if (open("/dev/null", O_RDWR) != fd) {
      fatal(FATAL_ERRNO, _("open %s for reading"), "/dev/null");
    }
  }
}

// The writer process, which extracts the work text into the pipe to the
// filter while this process merges what the filter writes back. With the
// two sides in two processes neither pipe can fill up and block everything,
// whatever the size of the text, and the extraction and the merge run side
// by side. The writer exits 0 when all was written, 1 after a failure it has
// reported, and this code when the filter stopped reading early.
constexpr int WRITER_CUT_SHORT = 2;

// The writer's end of the pipe to the filter. A filter may stop reading
// before the end (it failed, or wants no more); the rest of the text is then
// discarded, so that the writer ends normally and the tool reports how the
// filter ended instead of dying of SIGPIPE.
struct pipe_writer {
  int fd;
  bool reader_gone;
};

ssize_t write_to_filter(void* cookie, const char* data, size_t size) {
  auto* writer = static_cast<pipe_writer*>(cookie);
  size_t done = 0;
  while (done < size && !writer->reader_gone) {
    const ssize_t written = write(writer->fd, data + done, size - done);
    if (written >= 0) {
      done += static_cast<size_t>(written);
    } else if (errno == EPIPE) {
      writer->reader_gone = true;
    } else {
      return -1;
    }
  }
  return static_cast<ssize_t>(size);
}

int close_filter_input(void* cookie) {
  return close(static_cast<pipe_writer*>(cookie)->fd);
}

pid_t start_writer(const edit_ops& ops, FILE* input, int to_child,
                   int from_child) {
  const pid_t pid = fork_or_die();
  if (pid != 0) {
    return pid;
  }
  // The writer never starts another program, so blocking SIGPIPE here
  // changes nothing for the user's program.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  sigprocmask(SIG_BLOCK, &pipe_signal, nullptr);
  if (close(from_child) != 0) {
    fatal(FATAL_ERRNO, _("close read end of input pipe"));
  }
  static pipe_writer writer = {to_child, false};
  const cookie_io_functions_t functions = {.read = nullptr,
                                           .write = write_to_filter,
                                           .seek = nullptr,
                                           .close = close_filter_input};
  FILE* work = fopencookie(&writer, "w", functions);
  if (work == nullptr) {
    fatal(FATAL_ERRNO, _("fdopen write end of output pipe"));
  }
  prepare_stream(work);
  ops.extract(ops.settings, input, nullptr, work);
  _exit(writer.reader_gone ? WRITER_CUT_SHORT : 0);  // the stdio buffers
                                                     // belong to the tool
}

// The filter's output as the merge reads it. It ends only once the filter
// and the writer have ended and been judged, so that a failed filter is
// reported as such, not as a work text cut short.
struct filter_output {
  int fd;
  pid_t writer;
  const char* program;
  bool judged;
};

void judge_filter(filter_output* output) {
  if (output->judged) {
    return;
  }
  output->judged = true;
  int writer_status;
  if (waitpid(output->writer, &writer_status, 0) == -1) {
    fatal(FATAL_ERRNO, _("waiting for child"));
  }
  const int filter_status = wait_for_child();
  const int writer_code =
      WIFEXITED(writer_status) ? WEXITSTATUS(writer_status) : -1;
  if (writer_code == 1) {
    exit(1);  // the writer has reported its failure
  }
  judge_child_status(output->program, filter_status);
  if (writer_code == WRITER_CUT_SHORT) {
    fatal(0, _("%s stopped reading its input before the end"), output->program);
  }
  if (writer_code != 0) {
    fatal(0, _("the process writing to %s ended with status %x"),
          output->program, static_cast<unsigned>(writer_status));
  }
}

ssize_t read_from_filter(void* cookie, char* data, size_t size) {
  auto* output = static_cast<filter_output*>(cookie);
  const ssize_t got = read(output->fd, data, size);
  if (got == 0) {
    judge_filter(output);
  }
  return got;
}

int close_filter_output(void* cookie) {
  auto* output = static_cast<filter_output*>(cookie);
  judge_filter(output);
  return close(output->fd);
}

// Copies all of `from` to `to`.
void copy_stream(FILE* from, FILE* to) {
  constexpr size_t block_size = 64 * 1024;
  char* block = static_cast<char*>(alloc_or_die(block_size));
  size_t got;
  while ((got = fread(block, 1, block_size, from)) > 0) {
    if (fwrite(block, 1, got, to) != got) {
      fatal(FATAL_ERRNO, _("writing file"));
    }
  }
  if (ferror(from)) {
    fatal(FATAL_ERRNO, _("reading file"));
  }
  free(block);
}

// Runs the filter on the work text and merges its output.
void run_filter(const char* target, char** child_argv, FILE* input, FILE* copy,
                FILE* output, const edit_ops& ops) {
  expand_placeholders(child_argv, "-");
  if (copy != nullptr) {
    // The merge reads the copy of standard input while the writer is still
    // extracting: the copy has to be complete first.
    copy_stream(input, copy);
    close_stream(copy);
    input = open_for_reading(target);
  }
  int to_child, from_child;
  start_filter(child_argv, &to_child, &from_child);
  // From here on `input` belongs to the writer; this process leaves it be.
  const pid_t writer = start_writer(ops, input, to_child, from_child);
  if (close(to_child) != 0) {
    fatal(FATAL_ERRNO, _("close write end of output pipe"));
  }
  static filter_output filter_text = {from_child, writer, child_argv[0], false};
  const cookie_io_functions_t functions = {.read = read_from_filter,
                                           .write = nullptr,
                                           .seek = nullptr,
                                           .close = close_filter_output};
  FILE* work = fopencookie(&filter_text, "r", functions);
  if (work == nullptr) {
    fatal(FATAL_ERRNO, _("fdopen read end of input pipe"));
  }
  prepare_stream(work);
  ops.merge(ops.settings, open_for_reading(target), work, output);
}

// Lets the program edit the work file on the terminal, then merges. Returns
// the work file's name.
char* run_editor(const char* target, char** child_argv, FILE* input, FILE* copy,
                 FILE* output, const edit_ops& ops) {
  char* work_name = make_temp_name();
  FILE* work = open_for_writing(work_name);
  expand_placeholders(child_argv, work_name);
  ops.extract(ops.settings, input, copy, work);
  run_on_terminal(child_argv);
  check_child_status(child_argv[0]);
  FILE* reread = open_for_reading(target);
  ops.merge(ops.settings, reread, open_for_reading(work_name), output);
  return work_name;
}

}  // namespace

void run_edit_cycle(const char* target, char** child_argv, bool filter,
                    const edit_ops& ops) {
  const bool stdio = strcmp(target, "-") == 0;
  keep_standard_descriptors_open(stdio);
  FILE* input;
  FILE* copy = nullptr;
  FILE* output;
  const char* user_file = target;
  char* result_name = nullptr;
  if (stdio) {
    // Standard input cannot be read twice: the extraction keeps a copy of
    // it, which the merge reads in its place.
    target = make_temp_name();
    copy = open_for_writing(target);
    input = stdin;
    output = stdout;
    prepare_stream(stdin);
    prepare_stream(stdout);
  } else {
    input = open_for_reading(target);
    result_name = make_temp_name();
    output = open_for_writing(result_name);
  }

  char* work_name = nullptr;
  if (filter) {
    run_filter(target, child_argv, input, copy, output, ops);
  } else {
    work_name = run_editor(target, child_argv, input, copy, output, ops);
  }

  if (stdio) {
    remove_file(target);
  } else {
    move_file(result_name, user_file);
  }
  if (work_name != nullptr) {
    remove_file(work_name);
  }
}
