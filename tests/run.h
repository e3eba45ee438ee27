// Running the built programs as a user would, optionally on a terminal.
#ifndef TEXTMEND_TESTS_RUN_H
#define TEXTMEND_TESTS_RUN_H

#include <map>
#include <string>
#include <vector>

struct RunOptions {
  std::string input;                 // written to the program's standard input
  bool terminal = false;             // run on a new pseudo-terminal
  bool input_from_terminal = false;  // with terminal: leave stdin on it
  bool output_to_terminal = false;   // with terminal: leave stdout on it
  bool close_input = false;          // start with descriptor 0 closed
  std::string output_path;           // standard output goes there instead
  int kill_after_ms = 0;             // then send `kill_signal` to the program
  int kill_signal = 0;
  std::vector<std::string> environment;  // NAME=value, set for the program
};

struct RunResult {
  int status = -1;       // exit code, or -1 when killed by a signal
  int signal = 0;        // the signal that ended it
  std::string out;       // standard output, unless it was the terminal
  std::string err;       // standard error
  std::string terminal;  // what reached the terminal
  // What the program left in its temporary directory, by name
  // (/tmp/textmend-...), with the contents.
  std::map<std::string, std::string> temp_files;
};

// Runs argv[0] (a path) with `argv`. Without a terminal the program runs in
// a new session, so it has no controlling terminal at all. Where it can, it
// runs with a /tmp of its own (a directory of the test bound on /tmp in a
// mount namespace), so that what it leaves there is gone with the test and
// reported in temp_files; elsewhere temp_files lists the files it added
// to the real /tmp, which stay. The scratch directories must then lie
// outside /tmp: the test suite sets TMPDIR for them.
RunResult run(const std::vector<std::string>& argv,
              const RunOptions& options = {});

// Runs `tool` with `args` and -n on a copy of `text`, in a scratch file or
// (with stdio) on standard input, on a terminal so that editor mode works.
// Returns the result with the file as the program left it, or standard
// output, in `out`.
RunResult run_on(const std::string& tool, const std::string& text, bool stdio,
                 const std::vector<std::string>& args);

inline std::vector<std::string> operator+(std::vector<std::string> a,
                                          const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The four ways to run a tool.
struct Mode {
  bool stdio;
  bool filter;
  std::string name() const {
    return std::string(stdio ? "stdio" : "file") +
           (filter ? " filter" : " editor");
  }
};
inline constexpr Mode modes[] = {
    {false, false}, {false, true}, {true, false}, {true, true}};

#endif  // TEXTMEND_TESTS_RUN_H
