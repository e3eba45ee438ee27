// Starting the user's program on the terminal or as a filter, and judging
// how it ended.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support.h"

namespace {

// Gives descriptor `fd` of the child the controlling terminal, opened with
// `flags`, unless it already is a terminal. The edit cycle keeps descriptors
// 0 to 2 open, so the terminal is opened elsewhere and then moved onto `fd`.
void take_terminal(const char* terminal, int fd, int flags,
                   const char* open_failed, const char* dup_failed,
                   const char* close_failed) {
  if (terminal == nullptr || terminal[0] == '\0' || isatty(fd)) {
    return;
  }
  const int opened = open(terminal, flags);
  if (opened < 0) {
    fatal(FATAL_ERRNO | FATAL_IN_CHILD, "%s", open_failed);
  }
  if (dup2(opened, fd) < 0) {
    fatal(FATAL_ERRNO | FATAL_IN_CHILD, "%s", dup_failed);
  }
  if (close(opened) != 0) {
    fatal(FATAL_ERRNO | FATAL_IN_CHILD, "%s", close_failed);
  }
}

[[noreturn]] void exec_child(char** child_argv) {
  execvp(child_argv[0], child_argv);
  fatal(FATAL_ERRNO | FATAL_IN_CHILD, _("exec %s"), child_argv[0]);
}

// Moves pipe end `from` onto descriptor `to` in the child. The edit cycle
// keeps descriptors 0 to 2 open, so a pipe end is never one of them.
void move_fd(int from, int to, const char* dup_failed,
             const char* close_failed) {
  if (dup2(from, to) < 0) {
    fatal(FATAL_ERRNO | FATAL_IN_CHILD, "%s", dup_failed);
  }
  if (close(from) != 0) {
    fatal(FATAL_ERRNO | FATAL_IN_CHILD, "%s", close_failed);
  }
}

// The child that check_child_status waits for.
pid_t child_pid = -1;

}  // namespace

pid_t fork_or_die() {
  const pid_t pid = fork();
  if (pid < 0) {
    fatal(FATAL_ERRNO, _("fork"));
  }
  return pid;
}

void run_on_terminal(char** child_argv) {
  child_pid = fork_or_die();
  if (child_pid != 0) {
    return;
  }
  const char* terminal = ctermid(nullptr);
  take_terminal(terminal, 0, O_RDONLY, _("open terminal read"), _("dup2 stdin"),
                _("close extra terminal read fd"));
  take_terminal(terminal, 1, O_WRONLY, _("open terminal write"),
                _("dup2 stdout"), _("close extra terminal write fd"));
  exec_child(child_argv);
}

void start_filter(char** child_argv, int* to_child, int* from_child,
                  int* unread) {
  int output[2], input[2];
  if (pipe(output) != 0) {
    fatal(FATAL_ERRNO, _("pipe for output"));
  }
  if (pipe(input) != 0) {
    fatal(FATAL_ERRNO, _("pipe for input"));
  }
#if defined(F_SETPIPE_SZ)
  // Larger pipes let both sides move more text per switch between them.
  // Only a hint: with the default size the text flows all the same.
  fcntl(output[1], F_SETPIPE_SZ, 1 << 20);
  fcntl(input[1], F_SETPIPE_SZ, 1 << 20);
#endif
  child_pid = fork_or_die();
  if (child_pid == 0) {
    if (close(output[1]) != 0) {
      fatal(FATAL_ERRNO | FATAL_IN_CHILD, _("close write end of output pipe"));
    }
    move_fd(output[0], 0, _("dup2 stdin"), _("close read end of output pipe"));
    if (close(input[0]) != 0) {
      fatal(FATAL_ERRNO | FATAL_IN_CHILD, _("close read end of input pipe"));
    }
    move_fd(input[1], 1, _("dup2 stdout"), _("close write end of input pipe"));
    exec_child(child_argv);
  }
  *unread = fcntl(output[0], F_DUPFD_CLOEXEC, 3);
  if (*unread < 0) {
    fatal(FATAL_ERRNO, _("pipe for output"));
  }
  if (close(output[0]) != 0) {
    fatal(FATAL_ERRNO, _("close read end of output pipe"));
  }
  *to_child = output[1];
  if (close(input[1]) != 0) {
    fatal(FATAL_ERRNO, _("close write end of input pipe"));
  }
  *from_child = input[0];
}

int wait_for_child() {
  int status;
  if (waitpid(child_pid, &status, 0) == -1) {
    fatal(FATAL_ERRNO, _("waiting for child"));
  }
  return status;
}

void check_child_status(const char* program) {
  judge_child_status(program, wait_for_child());
}

void judge_child_status(const char* program, int status) {
  if ((status & 0x7f) == 0x7f || status == 0x13) {
    fatal(0, _("impossible status from child process: %x"), status);
  }
  if ((status & 0x7f) != 0) {
    fatal(0, _("%s died with signal \"%s\""), program,
          strsignal(status & 0x7f));
  }
  const int code = status >> 8;
  if (code == 128) {
    fatal(0, _("child process couldn't execute %s"), program);
  }
  if (code != 0) {
    fatal(0, _("%s returned failure exit code %d"), program, code);
  }
}
