// End-to-end tests of faults around both tools: full devices, missing
// places, programs that fail or stop early, the tool interrupted, and runs
// side by side. The user's file must stay as it was.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"
#include "test_files.h"

namespace {

const char po[] =
    "msgid \"\"\nmsgstr \"\"\n\"Language: de\\n\"\n\n"
    "msgid \"File\"\nmsgstr \"Dtaei\"\n";
const char message[] = "Subject: Helo\n\n> quoted\nHelo there.\n-- \nsig\n";

struct Tool {
  const char* path;
  const char* name;
  const char* text;
};
const Tool tools[] = {{MSGPROOF, "msgproof", po},
                      {POSTPROOF, "postproof", message}};

}  // namespace

TEST(Faults, FullStandardOutput) {
  for (const Tool& tool : tools) {
    RunOptions options;
    options.input = tool.text;
    options.output_path = "/dev/full";
    const RunResult result = run({tool.path, "-n", "-", "-f", "-p", "cat"},
                                 options);
    EXPECT_EQ(1, result.status) << tool.name;
    EXPECT_EQ(std::string(tool.name) +
                  ": error: closing file: No space left on device.\n",
              result.err);
  }
}

TEST(Faults, MissingPlacesAndFailingPrograms) {
  struct Case {
    std::vector<std::string> args;
    std::string err;  // after "tool: error"
  };
  for (const Tool& tool : tools) {
    const std::string name = tool.name;
    ScratchDir dir;
    const std::string missing = dir / "no-such-dir/file";
    const RunResult no_dir = run({tool.path, "-n", missing, "-f", "-p", "cat"});
    EXPECT_EQ(1, no_dir.status);
    EXPECT_EQ(name + ": error: open " + missing +
                  " for reading: No such file or directory.\n",
              no_dir.err);

    const Case cases[] = {
        {{"-f", "-p", "no-such-program"},
         " in child process: exec no-such-program: No such file or "
         "directory.\n" +
             name +
             ": error: child process couldn't execute "
             "no-such-program.\n"},
        {{"-f", "-p", "sh", "--", "-c", "kill -TERM $$"},
         ": sh died with signal \"Terminated\".\n"},
        {{"-p", "sh", "--", "-c", "kill -HUP $$"},
         ": sh died with signal \"Hangup\".\n"},
    };
    for (const Case& c : cases) {
      const RunResult result = run_on(tool.path, tool.text, false, c.args);
      EXPECT_EQ(1, result.status) << name << " " << c.args[2];
      EXPECT_EQ(name + ": error" + c.err, result.err) << c.args[2];
      EXPECT_EQ(tool.text, result.out) << name << " " << c.args[2];
    }
  }
}

TEST(Faults, InterruptedToolLeavesTheFileAlone) {
  // The tools catch no signal: they end by it, as a shell script running
  // them expects, before the user's file is touched.
  for (const int signal_number : {SIGINT, SIGTERM}) {
    for (const Tool& tool : tools) {
      ScratchDir dir;
      write_file(dir / "file", tool.text);
      RunOptions options;
      options.kill_after_ms = 300;
      options.kill_signal = signal_number;
      const RunResult result =
          run({tool.path, "-n", dir / "file", "-f", "-p", "sh", "--", "-c",
               "sleep 2; cat"},
              options);
      EXPECT_EQ(signal_number, result.signal) << tool.name;
      EXPECT_EQ(tool.text, read_file(dir / "file")) << tool.name;
    }
  }
}

TEST(Faults, RunsSideBySideDoNotDisturbEachOther) {
  ScratchDir dir;
  std::string big;
  for (int i = 0; big.size() < 4 * 1024 * 1024; i++) {
    big += "msgid \"entry " + std::to_string(i) + "\"\nmsgstr \"Dtaei " +
           std::to_string(i) + "\"\n\n";
  }
  std::string want = big;
  for (size_t at = 0; (at = want.find("Dtaei", at)) != std::string::npos;) {
    want.replace(at, 5, "Datei");
  }
  std::vector<std::thread> runs;
  std::vector<RunResult> results(4);
  for (int i = 0; i < 4; i++) {
    write_file(dir / std::to_string(i), big);
    runs.emplace_back([&, i] {
      results[i] = run({MSGPROOF, "-n", dir / std::to_string(i), "-f", "-p",
                        "sed", "s/Dtaei/Datei/"});
    });
  }
  for (std::thread& t : runs) {
    t.join();
  }
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(0, results[i].status) << results[i].err;
    EXPECT_TRUE(read_file(dir / std::to_string(i)) == want) << i;
  }
}

TEST(Faults, FilterThatLeavesInputUnreadIsReportedHoweverSmall) {
  // The text fits into the pipe, so the writer never notices; still, what
  // the filter never read is found there once the filter has ended.
  std::string long_po, long_message = "Subject: s\n\n";
  for (int i = 0; long_po.size() < 64 * 1024; i++) {
    long_po += "msgid \"a" + std::to_string(i) + "\"\nmsgstr \"b\"\n\n";
    long_message += "Line " + std::to_string(i) + " of the body.\n";
  }
  struct Case {
    const Tool& tool;
    std::string text;
    std::vector<std::string> filter;
    std::string program;
  };
  const Case cases[] = {
      {tools[0], po, {"-p", "true"}, "true"},
      {tools[1], message, {"-p", "true"}, "true"},
      {tools[0], long_po, {"-p", "head", "--", "-n", "10"}, "head"},
      {tools[1], long_message, {"-p", "head", "--", "-n", "10"}, "head"},
  };
  for (const Case& c : cases) {
    for (const bool stdio : {false, true}) {
      const RunResult result =
          run_on(c.tool.path, c.text, stdio,
                 std::vector<std::string>{"-f"} + c.filter);
      EXPECT_EQ(1, result.status) << c.tool.name << " " << c.program;
      EXPECT_EQ(std::string(c.tool.name) + ": error: " + c.program +
                    " stopped reading its input before the end.\n",
                result.err);
      if (!stdio) {
        EXPECT_TRUE(result.out == c.text) << "the file is unchanged";
      }
    }
  }
}

TEST(Faults, OneDiagnosticPerFailureInEveryMode) {
  const std::string zero_po("msgid \"a\"\nmsgstr \"b\0c\"\n", 23);
  const std::string zero_message("Subject: s\n\nBody \0 text\n", 24);
  for (const Mode& mode : modes) {
    for (const Tool& tool : tools) {
      const std::string& text =
          tool.path == tools[0].path ? zero_po : zero_message;
      const std::vector<std::string> program =
          mode.filter ? std::vector<std::string>{"-f", "-p", "cat"}
                      : std::vector<std::string>{"-p", "true"};
      const RunResult result = run_on(tool.path, text, mode.stdio, program);
      EXPECT_EQ(1, result.status) << tool.name << " " << mode.name();
      EXPECT_EQ(std::string(tool.name) +
                    ": error: found a zero byte in the input; only text can "
                    "be handled.\n",
                result.err)
          << mode.name();
      if (!mode.stdio) {
        EXPECT_TRUE(result.out == text) << "the file is unchanged";
      }
    }
  }
  // A filter that writes a line the merge cannot take and then fails is
  // reported by its exit status, as in editor mode.
  for (const bool stdio : {false, true}) {
    const RunResult bad = run_on(MSGPROOF, po, stdio,
                                 {"-f", "-p", "sh", "--", "-c",
                                  "cat > /dev/null; echo 'bad line'; exit 3"});
    EXPECT_EQ(1, bad.status);
    EXPECT_EQ("msgproof: error: sh returned failure exit code 3.\n", bad.err);
  }
}
