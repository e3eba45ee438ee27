// End-to-end tests of postproof with real child programs.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"
#include "test_files.h"

namespace {

const char message[] =
    "From: Ann <ann@example.org>\n"
    "To: Bob <bob@example.org>\n"
    "Subject: Helo\n"
    " again\n"
    "Message-ID: <1@example.org>\n"
    "\n"
    "Bob wrote:\n"
    "> Helo Ann,\n"
    "> how are you?\n"
    "\n"
    "Helo Bob, fine.\n"
    "-- \n"
    "Ann\n";

RunResult run_postproof(const std::string& text, bool stdio,
                        const std::vector<std::string>& args) {
  return run_on(POSTPROOF, text, stdio, args);
}

std::vector<std::string> postproof(std::vector<std::string> args) {
  args.insert(args.begin(), POSTPROOF);
  return args;
}

// The program for `mode` that leaves the bodyfile unchanged; in editor mode
// it also checks that it has the terminal and the work file.
std::vector<std::string> unchanged(const Mode& mode) {
  if (mode.filter) {
    return {"-f", "-p", "cat"};
  }
  return {"-p", "sh", "--", "-c", "test -t 0 && test -t 1 && test -f \"$1\"",
          "sh", "%f"};
}

// The program for `mode` that applies the sed script to the bodyfile.
std::vector<std::string> sed(const Mode& mode, const std::string& script) {
  if (mode.filter) {
    return {"-f", "-p", "sed", "--", script};
  }
  return {"-p", "sed", "--", "-i", script, "%f"};
}

}  // namespace

TEST(Postproof, UnchangedBodyfileGivesTheMessageBackInEveryMode) {
  const std::vector<std::string> flag_sets[] = {
      {}, {"-q", "-s", "-k", "Subject"}, {"-h", "-q"}, {"-s", "-k", "From"}};
  const std::string samples[] = {
      message,
      "Subject: x\n\nlast line without a newline",
      "",
  };
  for (const Mode& mode : modes) {
    for (const auto& flags : flag_sets) {
      for (const std::string& m : samples) {
        const RunResult result =
            run_postproof(m, mode.stdio, flags + unchanged(mode));
        EXPECT_EQ(0, result.status) << mode.name() << "\n" << result.err;
        EXPECT_EQ("", result.err) << mode.name();
        // An empty message gets the empty line that ends a header.
        const bool whole = !flags.empty() && flags[0] == "-h";
        EXPECT_EQ(m.empty() && !whole ? "\n" : m, result.out)
            << mode.name() << " " << flags.size();
      }
    }
  }
}

TEST(Postproof, EditsReachOnlyTheBodyAndTheKeptFields) {
  // The quoted lines and the signature are not in the bodyfile.
  const std::string want =
      "From: Ann <ann@example.org>\n"
      "To: Bob <bob@example.org>\n"
      "Subject: Hello\n"
      " again\n"
      "Message-ID: <1@example.org>\n"
      "\n"
      "Bob wrote:\n"
      "> Helo Ann,\n"
      "> how are you?\n"
      "\n"
      "Hello Bob, fine.\n"
      "-- \n"
      "Ann\n";
  for (const Mode& mode : modes) {
    const RunResult result =
        run_postproof(message, mode.stdio,
                      std::vector<std::string>{"-q", "-s", "-k", "subject"} +
                          sed(mode, "s/Helo/Hello/"));
    EXPECT_EQ(0, result.status) << mode.name() << "\n" << result.err;
    EXPECT_EQ(want, result.out) << mode.name();
  }
}

TEST(Postproof, QuoteMarkersPairWithQuotedLinesByPosition) {
  std::string deleted = message;
  deleted.erase(deleted.find("> how are you?\n"), 15);
  const RunResult result = run_postproof(
      message, false, {"-q", "-f", "-p", "sed", "--", "0,/^>$/{/^>$/d}"});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(deleted, result.out) << "the remaining marker takes the first";

  // One marker deleted, one added at the end: the quote moves there.
  const RunResult moved = run_postproof(
      message, false, {"-q", "-f", "-p", "sed", "--", "0,/^>$/{/^>$/d};$a>"});
  EXPECT_EQ(0, moved.status) << moved.err;
  EXPECT_NE(std::string::npos,
            moved.out.find("\n\nBob wrote:\n> Helo Ann,\n\nHelo Bob, "
                           "fine.\n-- \nAnn\n> how are you?\n"))
      << moved.out;

  for (const bool stdio : {false, true}) {
    const RunResult none = run_postproof(
        message, stdio, {"-q", "-s", "-f", "-p", "sed", "--", "$a>"});
    EXPECT_EQ(1, none.status);
    EXPECT_EQ(
        "postproof: error: found marker for a removed line in the body "
        "file,\nbut cannot find a corresponding line in the message file.\n",
        none.err);
    if (!stdio) {
      EXPECT_EQ(message, none.out) << "the message is unchanged";
    }
  }
}

TEST(Postproof, DroppedLastNewlineGluesNothing) {
  // The filter drops the bodyfile's last newline.
  const RunResult result = run_postproof(
      message, false,
      {"-s", "-f", "-p", "sh", "--", "-c", "sed 's/fine/well/' | head -c -1"});
  EXPECT_EQ(0, result.status) << result.err;
  std::string want = message;
  want.replace(want.find("fine"), 4, "well");
  EXPECT_EQ(want, result.out);
}

TEST(Postproof, KeptFieldsComeInMessageOrder) {
  ScratchDir dir;
  const RunResult result = run_postproof(
      message, true,
      {"-k", "Subject", "-k", "From", "-f", "-p", "tee", dir / "bodyfile"});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(message, result.out);
  EXPECT_EQ(0u, read_file(dir / "bodyfile")
                    .find("From: Ann <ann@example.org>\nSubject: Helo\n"
                          " again\n\nBob wrote:\n"));
}

TEST(Postproof, CommandLine) {
  const std::string usage = read_file(POSTPROOF_USAGE_TEXT);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"-v"}, 0, "postproof (textmend) 0.7\n", ""},
      {{"-v", "-x"}, 0, "postproof (textmend) 0.7\n", ""},
      {{"-x", "-v"},
       1,
       "",
       std::string(POSTPROOF) + ": invalid option -- 'x'\n" + usage},
      {{"-k"},
       1,
       "",
       std::string(POSTPROOF) + ": option requires an argument -- 'k'\n" +
           usage},
      {{"-n", "m"}, 1, "", usage},
      {{"-p", "prog", "-q"}, 1, "", usage},
      {{"--help"}, 0, usage, ""},
      {{"--version", "-x"}, 0, "postproof (textmend) 0.7\n", ""},
      {{"-h", "-x"},
       1,
       "",
       std::string(POSTPROOF) + ": invalid option -- 'x'\n" + usage},
  };
  for (const Case& c : cases) {
    const RunResult result = run(postproof(c.args));
    EXPECT_EQ(c.status, result.status);
    EXPECT_EQ(c.out, result.out);
    EXPECT_EQ(c.err, result.err);
  }
}

TEST(Postproof, ArgumentsAfterTheFirstNonOptionGoToTheProgram) {
  ScratchDir dir;
  write_file(dir / "check",
             "test \"$1\" = word && test \"$2\" = -h && sed 1q\n");
  // -h goes to the program, so the header is still separated: the program
  // sees the body only, and its first line is all that stays.
  const RunResult result = run_postproof(
      message, false, {"-f", "-p", "sh", dir / "check", "word", "-h"});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(
      std::string(message).substr(0, std::string(message).find("\n\n") + 2) +
          "Bob wrote:\n",
      result.out);
}

TEST(Postproof, LargeMessageThroughFiltersThatReadAllOrStopEarly) {
  std::string big = "Subject: big\n\n";
  while (big.size() < 16 * 1024 * 1024) {
    big += "> quoted text of the message before\nand an answer to it\n";
  }
  big += "-- \nsig\n";
  const RunResult through =
      run_postproof(big, false, {"-q", "-s", "-f", "-p", "cat"});
  EXPECT_EQ(0, through.status) << through.err;
  EXPECT_TRUE(through.out == big);

  const RunResult early =
      run_postproof(big, false, {"-f", "-p", "head", "--", "-c", "10"});
  EXPECT_EQ(1, early.status);
  EXPECT_EQ(
      "postproof: error: head stopped reading its input before the end.\n",
      early.err);
  EXPECT_TRUE(early.out == big);
}
