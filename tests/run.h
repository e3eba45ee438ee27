// Running the built programs as a user would, optionally on a terminal.
#ifndef TEXTMEND_TESTS_RUN_H
#define TEXTMEND_TESTS_RUN_H

#include <string>
#include <vector>

struct RunOptions {
  std::string input;                 // written to the program's standard input
  bool terminal = false;             // run on a new pseudo-terminal
  bool input_from_terminal = false;  // with terminal: leave stdin on it
  bool output_to_terminal = false;   // with terminal: leave stdout on it
  bool close_input = false;          // start with descriptor 0 closed
};

struct RunResult {
  int status = -1;       // exit code, or -1 when killed by a signal
  std::string out;       // standard output, unless it was the terminal
  std::string err;       // standard error
  std::string terminal;  // what reached the terminal
};

// Runs argv[0] (a path) with `argv`. Without a terminal the program runs in
// a new session, so it has no controlling terminal at all.
RunResult run(const std::vector<std::string>& argv,
              const RunOptions& options = {});

#endif  // TEXTMEND_TESTS_RUN_H
