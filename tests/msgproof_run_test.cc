// End-to-end tests of msgproof with real child programs.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"
#include "test_files.h"

namespace {

const char sample[] =
    "# German translation.\n"
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
    "\n"
    "#: main.c:10\n"
    "msgid \"File\"\n"
    "msgstr \"Dtaei\"\n"
    "\n"
    "msgctxt \"menu\"\n"
    "msgid \"%d file\"\n"
    "msgid_plural \"%d files\"\n"
    "msgstr[0] \"%d Dtaei\"\n"
    "msgstr[1] \"%d Dateien\\nZeile\"\n";

// The program leaves the work text as it is; in editor mode it also checks
// that it has the terminal and the work file.
const std::vector<std::string> unchanged_editor = {
    "-p", "sh", "--", "-c", "test -t 0 && test -t 1 && test -f \"$1\"",
    "sh", "%f"};
const std::vector<std::string> unchanged_filter = {"-f", "-p", "cat"};

std::vector<std::string> msgproof(std::vector<std::string> args) {
  args.insert(args.begin(), MSGPROOF);
  return args;
}

RunResult run_msgproof(const std::string& po, bool stdio,
                       const std::vector<std::string>& args) {
  return run_on(MSGPROOF, po, stdio, args);
}

}  // namespace

TEST(Msgproof, UnchangedTextGivesTheFileBackInEveryMode) {
  const std::string samples[] = {
      sample,
      "msgid \"a\"\r\nmsgstr \"b\"\r\n\r\nmsgid \"c\"\r\nmsgstr \"d\"\r\n",
      "msgid \"\xe4\"\nmsgstr \"\xf6\\n\xfc\"\n\n#. x",
      "msgid \"a\"\nmsgstr \"b\"",
      "",
  };
  for (const Mode& mode : modes) {
    for (const std::string& po : samples) {
      const RunResult result = run_msgproof(
          po, mode.stdio, mode.filter ? unchanged_filter : unchanged_editor);
      EXPECT_EQ(0, result.status) << mode.name() << "\n" << result.err;
      EXPECT_EQ("", result.err) << mode.name();
      EXPECT_EQ(po, result.out) << mode.name();
    }
  }
}

TEST(Msgproof, ProgramsChangeReachesOnlyTheTranslation) {
  std::string want = sample;
  for (size_t at; (at = want.find("Dtaei")) != std::string::npos;) {
    want.replace(at, 5, "Datei");
  }
  const std::vector<std::string> editor = {
      "-p", "sed", "--", "-i", "s/Dtaei/Datei/", "%f"};
  const std::vector<std::string> filter = {"-f", "-p", "sed", "s/Dtaei/Datei/"};
  for (const Mode& mode : modes) {
    const RunResult result =
        run_msgproof(sample, mode.stdio, mode.filter ? filter : editor);
    EXPECT_EQ(0, result.status) << mode.name() << "\n" << result.err;
    EXPECT_EQ(want, result.out) << mode.name();
  }
}

TEST(Msgproof, ChildGetsTheTerminalWhereTheToolsStreamsAreFiles) {
  struct Case {
    bool input_from_terminal, output_to_terminal;
  };
  for (const Case c : {Case{false, true}, Case{true, false}}) {
    ScratchDir dir;
    write_file(dir / "de.po", sample);
    RunOptions options;
    options.terminal = true;
    options.input_from_terminal = c.input_from_terminal;
    options.output_to_terminal = c.output_to_terminal;
    const RunResult result =
        run(msgproof({"-n", dir / "de.po"}) + unchanged_editor, options);
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ(sample, read_file(dir / "de.po"));
  }
}

TEST(Msgproof, ClosedStandardInputIsNoHarm) {
  ScratchDir dir;
  write_file(dir / "de.po", sample);
  RunOptions options;
  options.terminal = options.output_to_terminal = true;
  options.close_input = true;
  const RunResult editor =
      run(msgproof({"-n", dir / "de.po"}) + unchanged_editor, options);
  EXPECT_EQ(0, editor.status) << editor.err;
  const RunResult filter =
      run(msgproof({"-n", dir / "de.po", "-f", "-p", "sed", "s/Dtaei/Datei/"}),
          options);
  EXPECT_EQ(0, filter.status) << filter.err;
  EXPECT_NE(std::string::npos, read_file(dir / "de.po").find("\"Datei\""));
  const RunResult stdio =
      run(msgproof({"-n", "-", "-f", "-p", "cat"}), options);
  EXPECT_EQ(1, stdio.status);
  EXPECT_EQ(
      "msgproof: error: standard input is not open: Bad file "
      "descriptor.\n",
      stdio.err);
}

TEST(Msgproof, WithoutAControllingTerminalTheChildCannotStart) {
  ScratchDir dir;
  write_file(dir / "de.po", sample);
  const RunResult result = run(msgproof({"-n", dir / "de.po", "-p", "true"}));
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(
      "msgproof: error in child process: open terminal read: No such device "
      "or address.\nmsgproof: error: child process couldn't execute true.\n",
      result.err);
  EXPECT_EQ(sample, read_file(dir / "de.po"));
}

TEST(Msgproof, FailingProgramLeavesTheFileUnchanged) {
  struct Case {
    std::vector<std::string> program;
    std::string err;
  };
  const Case cases[] = {
      {{"-p", "sh", "--", "-c", "exit 3"},
       "msgproof: error: sh returned failure exit code 3.\n"},
      {{"-f", "-p", "sh", "--", "-c", "cat; exit 3"},
       "msgproof: error: sh returned failure exit code 3.\n"},
      {{"-p", "sh", "--", "-c", "kill -TERM $$"},
       "msgproof: error: sh died with signal \"Terminated\".\n"},
      {{"-f", "-p", "sh", "--", "-c", "kill -KILL $$"},
       "msgproof: error: sh died with signal \"Killed\".\n"},
      {{"-p", "no-such-program"},
       "msgproof: error in child process: exec no-such-program: No such file "
       "or directory.\nmsgproof: error: child process couldn't execute "
       "no-such-program.\n"},
      {{"-f", "-p", "no-such-program"},
       "msgproof: error in child process: exec no-such-program: No such file "
       "or directory.\nmsgproof: error: child process couldn't execute "
       "no-such-program.\n"},
      {{"-p", "sh", "--", "-c", "exit 128"},
       "msgproof: error: child process couldn't execute sh.\n"},
      {{"-f", "-p", "sh", "--", "-c", "cat > /dev/null"},
       "msgproof: error: the spell file ends before this line of the .po "
       "file:\n# German translation..\n"},
      {{"-p", "sh", "--", "-c", ": > \"$1\"", "sh", "%f"},
       "msgproof: error: the spell file ends before this line of the .po "
       "file:\n# German translation..\n"},
      {{"-f", "-p", "sed", "s/^/x/"},
       "msgproof: error: found line with unknown content in the spell "
       "file:\nx#.\n"},
  };
  for (const bool stdio : {false, true}) {
    for (const Case& c : cases) {
      const RunResult result = run_msgproof(sample, stdio, c.program);
      EXPECT_EQ(1, result.status) << c.program[1];
      EXPECT_EQ(c.err, result.err) << c.program[1];
      // In stdio mode a filter is judged at the end of its output, by which
      // time merged text may have reached standard output.
      if (!stdio) {
        EXPECT_EQ(sample, result.out) << c.program[1];
      } else if (c.program[0] != "-f") {
        EXPECT_EQ("", result.out) << c.program[1];
      }
    }
  }
}

TEST(Msgproof, FilterThatStopsReadingIsReported) {
  std::string big;
  // Far more than the pipes hold, so that the writer is still writing when
  // the filter quits.
  while (big.size() < 8 * 1024 * 1024) {
    big += "msgid \"a\"\nmsgstr \"b\"\n";
  }
  struct Case {
    std::vector<std::string> program;
    std::string err;
  };
  const Case cases[] = {
      {{"-f", "-p", "head", "--", "-c", "10"},
       "msgproof: error: head stopped reading its input before the end.\n"},
      {{"-f", "-p", "sh", "--", "-c", "exec 0<&-; sleep 0.1; exit 4"},
       "msgproof: error: sh returned failure exit code 4.\n"},
  };
  for (const Case& c : cases) {
    const RunResult result = run_msgproof(big, false, c.program);
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(c.err, result.err);
    EXPECT_TRUE(result.out == big) << "the file is unchanged";
  }
}

TEST(Msgproof, LargeFileGoesThroughAFilterWithoutHanging) {
  std::string po = "msgid \"\"\nmsgstr \"\"\n\"Language: de\\n\"\n";
  while (po.size() < 100 * 1024 * 1024) {
    po +=
        "#: src/main.c:42\nmsgid \"Open the file\"\nmsgstr \"\"\n"
        "\"Die Datei\\n\"\n\"offnen\"\n\n";
  }
  const RunResult result = run_msgproof(po, false, unchanged_filter);
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_TRUE(result.out == po);
}

TEST(Msgproof, PlaceholderNamesTheWorkFileOrAMinus) {
  const RunResult filter =
      run_msgproof(sample, false,
                   {"-f", "-p", "sh", "--", "-c", "test \"$1\" = - && cat",
                    "sh", "x%fy%%f"});
  EXPECT_EQ(1, filter.status) << "the argument is x-y%f, not -";
  const RunResult minus = run_msgproof(
      sample, false,
      {"-f", "-p", "sh", "--", "-c", "test \"$1\" = - && cat", "sh", "%f"});
  EXPECT_EQ(0, minus.status) << minus.err;
  const RunResult editor = run_msgproof(
      sample, false,
      {"-p", "sh", "--", "-c",
       "case $1 in " P_tmpdir "/*) exit 0;; esac; exit 1", "sh", "%f"});
  EXPECT_EQ(0, editor.status) << editor.err;
}

TEST(Msgproof, FailedRunLeavesItsTemporaryFiles) {
  ScratchDir dir;
  write_file(dir / "de.po", sample);
  RunOptions options;
  options.terminal = options.input_from_terminal = options.output_to_terminal =
      true;
  const RunResult result = run(
      msgproof({"-n", dir / "de.po", "-p", "sh", "--", "-c",
                "printf %s \"$1\" > \"$2\"; exit 1", "sh", "%f", dir / "name"}),
      options);
  EXPECT_EQ(1, result.status);
  const std::string work = read_file(dir / "name");
  ASSERT_EQ(1u, result.temp_files.count(work)) << work;
  EXPECT_EQ(
      "#\n>\n)\n]\n\n#\n>\n+ \"Dtaei\"\n\n>\n>\n>\n+ \"%d Dtaei\"\n"
      "+ \"%d Dateien\\n\" \"Zeile\"\n",
      result.temp_files.at(work));
  EXPECT_EQ(2u, result.temp_files.size()) << "the work and the result file";
}

TEST(Msgproof, ResultKeepsTheFilesModeAndLink) {
  ScratchDir dir;
  write_file(dir / "de.po", sample);
  chmod((dir / "de.po").c_str(), 0640);
  symlink("de.po", (dir / "link.po").c_str());
  const RunResult result = run(
      msgproof({"-n", dir / "link.po", "-f", "-p", "sed", "s/Dtaei/Datei/"}));
  EXPECT_EQ(0, result.status) << result.err;
  struct stat status;
  ASSERT_EQ(0, lstat((dir / "link.po").c_str(), &status));
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  ASSERT_EQ(0, stat((dir / "de.po").c_str(), &status));
  EXPECT_EQ(0640u, status.st_mode & 07777);
  EXPECT_NE(std::string::npos, read_file(dir / "de.po").find("\"Datei\""));
}

TEST(Msgproof, InputProblemsAreReportedBeforeAnythingChanges) {
  ScratchDir dir;
  const RunResult missing =
      run(msgproof({"-n", dir / "missing.po", "-f", "-p", "cat"}));
  EXPECT_EQ(1, missing.status);
  EXPECT_EQ("msgproof: error: open " + (dir / "missing.po") +
                " for reading: No such file or directory.\n",
            missing.err);

  const std::string binary("msgid \"a\"\nmsgstr \"b\0c\"\n", 23);
  const RunResult zero = run_msgproof(binary, false, unchanged_filter);
  EXPECT_EQ(1, zero.status);
  EXPECT_EQ(
      "msgproof: error: found a zero byte in the input; only text can be "
      "handled.\n",
      zero.err);
  EXPECT_TRUE(zero.out == binary);

  const std::string unknown = "msgid \"a\"\nmsgstr \"b\"\nmsgfoo \"c\"\n";
  const RunResult strict =
      run_msgproof(unknown, false, {"-s", "-f", "-p", "cat"});
  EXPECT_EQ(1, strict.status);
  EXPECT_EQ(
      "msgproof: error: I don't understand this line in the .po file:\n"
      "msgfoo \"c\".\n",
      strict.err);
  EXPECT_EQ(unknown, strict.out);
  EXPECT_EQ(0, run_msgproof(unknown, false, unchanged_filter).status);
}

TEST(Msgproof, CommandLine) {
  const std::string usage = read_file(USAGE_TEXT);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;  // a prefix of standard error
  };
  const Case cases[] = {
      {{"-v"}, 0, "msgproof (textmend) 0.7\n", ""},
      {{"-n", "x.po", "-v", "-p", "prog"}, 0, "msgproof (textmend) 0.7\n", ""},
      {{"-v", "-x"}, 0, "msgproof (textmend) 0.7\n", ""},
      {{"-x", "-v"},
       1,
       "",
       std::string(MSGPROOF) + ": invalid option -- 'x'\n" + usage},
      {{"-n"},
       1,
       "",
       std::string(MSGPROOF) + ": option requires an argument -- 'n'\n" +
           usage},
      {{"-l", "a", "-l", "b", "-v"},
       1,
       "",
       "msgproof: error: only one -l option is allowed.\n"},
      {{"-l", "", "-l", "b"},
       1,
       "",
       "msgproof: error: only one -l option is allowed.\n"},
      {{"-n", "x.po"}, 1, "", usage},
      {{"-p", "prog"}, 1, "", usage},
      {{}, 1, "", usage},
      {{"--help"}, 0, usage, ""},
      {{"-n", "x.po", "--help", "-p", "prog"}, 0, usage, ""},
      {{"--version"}, 0, "msgproof (textmend) 0.7\n", ""},
      {{"--frobnicate"},
       1,
       "",
       std::string(MSGPROOF) + ": unrecognized option '--frobnicate'\n" +
           usage},
  };
  for (const Case& c : cases) {
    const RunResult result = run(msgproof(c.args));
    EXPECT_EQ(c.status, result.status) << c.args.size();
    EXPECT_EQ(c.out, result.out);
    EXPECT_EQ(c.err, result.err);
  }
}

TEST(Msgproof, ArgumentsAfterTheFirstNonOptionGoToTheProgram) {
  ScratchDir dir;
  write_file(dir / "check",
             "test \"$1\" = -s && test \"$2\" = --help && cat\n");
  const std::string po = "msgid \"a\"\nmsgstr \"b\"\nmsgfoo\n";
  const RunResult result = run_msgproof(
      po, false, {"-f", "-p", "sh", dir / "check", "-s", "--help"});
  EXPECT_EQ(0, result.status) << "strict mode is off: " << result.err;
  EXPECT_EQ(po, result.out);
  const RunResult after_dashes = run_msgproof(
      po, false, {"-f", "-p", "sh", "--", dir / "check", "-s", "--help"});
  EXPECT_EQ(0, after_dashes.status) << after_dashes.err;
}

TEST(Msgproof, MarkerSlipsAreRefusedAndTheFileStays) {
  const std::string example = read_file(EXAMPLE_PO);
  ASSERT_FALSE(example.empty());
  const std::string plural =
      "msgid \"a\"\nmsgid_plural \"b\"\nmsgstr[0] \"x\"\nmsgstr[1] \"\"\n"
      "\"y\"\n";
  struct Case {
    const std::string& po;
    std::vector<std::string> args;
    std::string err;
  };
  const std::string mismatch =
      "msgproof: error: a marker of the spell file was deleted, added or "
      "changed at or before this line:\n";
  const Case cases[] = {
      {example,
       {"-s", "-f", "-p", "sed", "--", "14d"},
       mismatch + "+ \"Die Dtaei \xc3\xb6"
                  "ffnen\"."},
      {example, {"-f", "-p", "sed", "--", "1d"}, mismatch + ">."},
      {example, {"-f", "-p", "sed", "--", "6,11d"}, mismatch + "#."},
      {example,
       {"-f", "-p", "sed", "--", "s/^)$/+ \"x\"/"},
       mismatch + "+ \"x\"."},
      {plural,
       {"-l", "0", "-f", "-p", "head", "--", "-n", "-1"},
       "msgproof: error: the spell file ends before this line of the .po "
       "file:\n\"y\"."},
  };
  for (const Case& c : cases) {
    const RunResult result = run_msgproof(c.po, false, c.args);
    EXPECT_EQ(1, result.status) << c.args[c.args.size() - 1];
    EXPECT_EQ(c.err + "\n", result.err);
    EXPECT_TRUE(result.out == c.po) << "the file is unchanged";
  }
}
