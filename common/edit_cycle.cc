// The edit cycle: extract the work text, let the program change it, merge
// it with a second reading of the input, and put the result in place.
#include <errno.h>
#include <fcntl.h>
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

// The streams of one run. In file mode the input is read twice through two
// descriptors opened at the start, so that the merge reads the very file
// the extraction read; in stdio mode the merge reads the copy.
struct cycle_streams {
  FILE* input;
  FILE* reread;  // null in stdio mode until the copy is complete
  FILE* copy;    // stdio mode only
  char* copy_name;
  FILE* output;
};

// A filter at work: the filter itself, and the writer process that
// extracts the work text into the pipe to it while this process merges
// what the filter writes back. With the two sides in two processes neither
// pipe can fill up and block everything, whatever the size of the text,
// and the extraction and the merge run side by side.
struct filter_run {
  const char* program;
  pid_t writer;
  int from_child;  // the filter's output, which the merge reads
  int rest;        // a second descriptor on it, for what the merge left
  int unread;      // this process's own end of the pipe to the filter
};

pid_t start_writer(const edit_ops& ops, FILE* input, const filter_run& run,
                   int to_child) {
  const pid_t pid = fork_or_die();
  if (pid != 0) {
    return pid;
  }
  if (close(run.from_child) != 0 || close(run.rest) != 0 ||
      close(run.unread) != 0) {
    fatal(FATAL_ERRNO, _("close read end of input pipe"));
  }
  FILE* work = fdopen(to_child, "w");
  if (work == nullptr) {
    fatal(FATAL_ERRNO, _("fdopen write end of output pipe"));
  }
  prepare_stream(work);
  ops.extract(ops.settings, input, nullptr, work);
  _exit(0);  // the stdio buffers belong to the tool
}

// Reads `fd` to its end; returns how many bytes it held.
size_t drain(int fd) {
  char block[64 * 1024];
  size_t total = 0;
  ssize_t got;
  while ((got = read(fd, block, sizeof block)) != 0) {
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      fatal(FATAL_ERRNO, _("reading file"));
    }
    total += static_cast<size_t>(got);
  }
  return total;
}

// Waits for the filter and the writer and judges them, the filter first:
// how they ended explains any fault of the merge, so it is reported in its
// place. Runs once the merge has read the filter's output to its end, or
// when the merge fails before that.
void judge_filter_run(void* context) {
  auto& run = *static_cast<filter_run*>(context);
  // A filter blocked on a full pipe ends only when its output is read.
  drain(run.rest);
  const int filter_status = wait_for_child();
  // With the filter gone, whatever the pipe to it still holds is text it
  // never read; reading it also frees a writer blocked on the full pipe.
  const size_t unread = drain(run.unread);
  int writer_status;
  if (waitpid(run.writer, &writer_status, 0) == -1) {
    fatal(FATAL_ERRNO, _("waiting for child"));
  }
  judge_child_status(run.program, filter_status);
  if (WIFEXITED(writer_status) && WEXITSTATUS(writer_status) == 1) {
    exit(1);  // the writer has reported its failure
  }
  if (writer_status != 0) {
    fatal(0, _("the process writing to %s ended with status %x"), run.program,
          static_cast<unsigned>(writer_status));
  }
  if (unread > 0) {
    fatal(0, _("%s stopped reading its input before the end"), run.program);
  }
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
void run_filter(char** child_argv, cycle_streams* s, const edit_ops& ops) {
  expand_placeholders(child_argv, "-");
  FILE* input = s->input;
  if (s->copy != nullptr) {
    // The merge reads the copy of standard input while the writer is still
    // extracting: the copy has to be complete first.
    copy_stream(s->input, s->copy);
    close_stream(s->copy);
    input = open_for_reading(s->copy_name);
    s->reread = open_for_reading(s->copy_name);
  }
  filter_run run = {child_argv[0], -1, -1, -1, -1};
  int to_child;
  start_filter(child_argv, &to_child, &run.from_child, &run.unread);
  run.rest = fcntl(run.from_child, F_DUPFD_CLOEXEC, 3);
  if (run.rest < 0) {
    fatal(FATAL_ERRNO, _("pipe for input"));
  }
  // From here on `input` belongs to the writer; this process leaves it be.
  run.writer = start_writer(ops, input, run, to_child);
  if (close(to_child) != 0) {
    fatal(FATAL_ERRNO, _("close write end of output pipe"));
  }
  FILE* work = fdopen(run.from_child, "r");
  if (work == nullptr) {
    fatal(FATAL_ERRNO, _("fdopen read end of input pipe"));
  }
  prepare_stream(work);
  // Should the merge fail, the filter and the writer are judged first.
  call_before_failing(judge_filter_run, &run);
  ops.merge(ops.settings, s->reread, work, s->output);
  call_before_failing(nullptr, nullptr);
  judge_filter_run(&run);
}

// Lets the program edit the work file on the terminal, then merges. Returns
// the work file's name.
char* run_editor(char** child_argv, cycle_streams* s, const target_file* target,
                 const edit_ops& ops) {
  char* work_name;
  FILE* work = open_temp_file(&work_name);
  expand_placeholders(child_argv, work_name);
  ops.extract(ops.settings, s->input, s->copy, work);
  run_on_terminal(child_argv);
  check_child_status(child_argv[0]);
  if (target != nullptr && !target_unchanged(*target)) {
    report_target_changed(*target, work_name, false);
  }
  if (s->copy != nullptr) {
    s->reread = open_for_reading(s->copy_name);
  }
  ops.merge(ops.settings, s->reread, open_for_reading(work_name), s->output);
  return work_name;
}

}  // namespace

void run_edit_cycle(const char* target_name, char** child_argv, bool filter,
                    const edit_ops& ops) {
  const bool stdio = strcmp(target_name, "-") == 0;
  keep_standard_descriptors_open(stdio);
  cycle_streams s = {};
  target_file target = {};
  char* result_name = nullptr;
  if (stdio) {
    // Standard input cannot be read twice: the extraction keeps a copy of
    // it, which the merge reads in its place.
    s.copy = open_temp_file(&s.copy_name);
    s.input = stdin;
    s.output = stdout;
    prepare_stream(stdin);
    prepare_stream(stdout);
  } else {
    target = examine_target(target_name, &s.input, &s.reread);
    s.output = open_temp_file(&result_name);
  }

  char* work_name = nullptr;
  if (filter) {
    run_filter(child_argv, &s, ops);
  } else {
    work_name = run_editor(child_argv, &s, stdio ? nullptr : &target, ops);
  }

  if (stdio) {
    remove_file(s.copy_name);
  } else {
    move_file(result_name, target);
  }
  if (work_name != nullptr) {
    remove_file(work_name);
  }
}
