// The edit cycle: extract the work text, let the program change it, merge
// it with a second reading of the input, and put the result in place.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
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

// Copies the filter's output into the spool file while the main thread is
// still writing the filter's input, so that neither pipe can fill up and
// block both processes.
struct drain {
  int from;
  int to;
  char* buffer;
  size_t size;
  const char* failure;  // null, or the message for `error`
  int error;
};

void* drain_filter_output(void* argument) {
  auto* d = static_cast<drain*>(argument);
  for (;;) {
    const ssize_t got = read(d->from, d->buffer, d->size);
    if (got == 0) {
      return nullptr;
    }
    if (got < 0) {
      d->failure = _("reading file");
      d->error = errno;
      return nullptr;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put =
          write(d->to, d->buffer + done, static_cast<size_t>(got - done));
      if (put < 0) {
        d->failure = _("writing file");
        d->error = errno;
        return nullptr;
      }
      done += put;
    }
  }
}

// Runs the filter on the work text and merges its output. The filter is
// judged before the merge, so that a failed filter ends the run with its own
// report and without any merged text.
void run_filter(const char* target, char** child_argv, FILE* input, FILE* copy,
                FILE* output, const edit_ops& ops) {
  expand_placeholders(child_argv, "-");
  FILE* to_child;
  int from_child;
  start_filter(child_argv, &to_child, &from_child);

  // Writes to a filter that has quit then fail with EPIPE, which the pipe
  // stream handles, instead of raising SIGPIPE. Only the tool's own signal
  // mask changes: the filter has already been started.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);

  char* spool_name = make_temp_name();
  const int spool = open(spool_name, O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (spool < 0) {
    fatal(FATAL_ERRNO, _("open %s for writing"), spool_name);
  }
  constexpr size_t drain_size = 1024 * 1024;
  drain d = {from_child, spool,   static_cast<char*>(alloc_or_die(drain_size)),
             drain_size, nullptr, 0};
  pthread_t reader;
  const int started = pthread_create(&reader, nullptr, drain_filter_output, &d);
  if (started != 0) {
    errno = started;
    fatal(FATAL_ERRNO, _("starting a thread"));
  }
  ops.extract(ops.settings, input, copy, to_child);
  pthread_join(reader, nullptr);
  if (d.failure != nullptr) {
    errno = d.error;
    fatal(FATAL_ERRNO, "%s", d.failure);
  }
  if (close(from_child) != 0 || close(spool) != 0) {
    fatal(FATAL_ERRNO, _("closing file"));
  }

  check_child_status(child_argv[0]);
  if (child_stopped_reading()) {
    fatal(0, _("%s stopped reading its input before the end"), child_argv[0]);
  }
  FILE* reread = open_for_reading(target);
  ops.merge(ops.settings, reread, open_for_reading(spool_name), output);
  remove_file(spool_name);
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
