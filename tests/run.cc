// Running the built programs under test, with or without a terminal.
#include "run.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>

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

// Binds `tmp` on /tmp in a mount namespace of this process's own; does
// nothing where that is not allowed.
void take_private_tmp(const std::string& tmp) {
  if (unshare(CLONE_NEWNS) == 0 &&
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
    mount(tmp.c_str(), P_tmpdir, nullptr, MS_BIND, nullptr);
  }
}

// The names of the tool's temporary files in `directory`.
std::set<std::string> temp_names(const std::string& directory) {
  std::set<std::string> names;
  if (DIR* d = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(d)) {
      if (std::string(entry->d_name).starts_with("textmend-") &&
          !std::string(entry->d_name).starts_with("textmend-test-")) {
        names.insert(entry->d_name);
      }
    }
    closedir(d);
  }
  return names;
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, const RunOptions& options) {
  ScratchDir dir;
  const std::string in = dir / "stdin", out = dir / "stdout",
                    err = dir / "stderr";
  write_file(in, options.input);
  // A /tmp of the program's own, unless the scratch directories themselves
  // are under /tmp, which it would hide.
  const std::string tmp = dir / "tmp";
  const bool private_tmp =
      !dir.path.starts_with(P_tmpdir "/") && mkdir(tmp.c_str(), 01777) == 0;
  const std::set<std::string> before = temp_names(P_tmpdir);
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
    if (private_tmp) {
      take_private_tmp(tmp);
    }
    if (!options.terminal || !options.input_from_terminal) {
      redirect(in, 0, O_RDONLY);
    }
    if (!options.output_path.empty()) {
      redirect(options.output_path, 1, O_WRONLY);
    } else if (!options.terminal || !options.output_to_terminal) {
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
  } else if (options.kill_after_ms > 0) {
    usleep(static_cast<useconds_t>(options.kill_after_ms) * 1000);
    kill(pid, options.kill_signal);
    waitpid(pid, &status, 0);
    kill(-pid, SIGKILL);  // whatever the program started
  } else {
    waitpid(pid, &status, 0);
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  for (const std::string& name : temp_names(tmp)) {
    result.temp_files[P_tmpdir "/" + name] = read_file(tmp + "/" + name);
  }
  // Where no private /tmp could be bound, the files went to the real one
  // (along with those of other tests running at the same time); they stay.
  for (const std::string& name : temp_names(P_tmpdir)) {
    if (before.count(name) == 0) {
      result.temp_files[P_tmpdir "/" + name] = read_file(P_tmpdir "/" + name);
    }
  }
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
