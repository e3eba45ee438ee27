// Running the built programs under test, with or without a terminal.
#include "run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_files.h"

namespace {

void redirect(const std::string& path, int fd, int flags) {
  const int opened = open(path.c_str(), flags, 0600);
  if (opened < 0 || dup2(opened, fd) < 0) {
    _exit(127);
  }
  close(opened);
}

[[noreturn]] void exec_program(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, const RunOptions& options) {
  ScratchDir dir;
  const std::string in = dir / "stdin", out = dir / "stdout",
                    err = dir / "stderr";
  write_file(in, options.input);
  RunResult result;
  int terminal = -1;
  const pid_t pid =
      options.terminal ? forkpty(&terminal, nullptr, nullptr, nullptr) : fork();
  if (pid < 0) {
    return result;
  }
  if (pid == 0) {
    if (!options.terminal) {
      setsid();
    }
    if (!options.terminal || !options.input_from_terminal) {
      redirect(in, 0, O_RDONLY);
    }
    if (!options.terminal || !options.output_to_terminal) {
      redirect(out, 1, O_WRONLY | O_CREAT | O_TRUNC);
    }
    redirect(err, 2, O_WRONLY | O_CREAT | O_TRUNC);
    if (options.close_input) {
      close(0);
    }
    for (const std::string& setting : options.environment) {
      putenv(const_cast<char*>(setting.c_str()));
    }
    exec_program(argv);
  }
  int status;
  if (terminal >= 0) {
    // The terminal stays open until the program has ended: closing it would
    // hang it up under the program. Until some process opens it, reading
    // gives EIO, so poll instead of waiting for the end of its output.
    char buffer[4096];
    pid_t ended = 0;
    while (ended == 0) {
      ended = waitpid(pid, &status, WNOHANG);
      pollfd wanted = {terminal, POLLIN, 0};
      if (poll(&wanted, 1, ended == 0 ? 20 : 0) > 0) {
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got > 0) {
          result.terminal.append(buffer, static_cast<size_t>(got));
        } else if (ended == 0) {
          usleep(20000);
        }
      }
    }
    close(terminal);
  } else {
    waitpid(pid, &status, 0);
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = read_file(out);
  result.err = read_file(err);
  return result;
}

RunResult run_on(const std::string& tool, const std::string& text, bool stdio,
                 const std::vector<std::string>& args) {
  ScratchDir dir;
  const std::string path = dir / "file";
  write_file(path, text);
  RunOptions options;
  options.terminal = true;
  if (stdio) {
    options.input = text;
  } else {
    options.input_from_terminal = options.output_to_terminal = true;
  }
  RunResult result = run(
      std::vector<std::string>{tool, "-n", stdio ? "-" : path} + args, options);
  if (!stdio) {
    if (!result.out.empty()) {
      result.err += "unexpected standard output: " + result.out;
    }
    result.out = read_file(path);
  }
  return result;
}
