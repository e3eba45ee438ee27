// End-to-end tests of the message catalogue: both tools speak German where
// the user asks for it, and msgproof works on its own translation.
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "run.h"
#include "test_files.h"

namespace {

RunOptions german() {
  RunOptions options;
  options.environment = {"LANGUAGE=de", "LC_ALL=C.UTF-8"};
  return options;
}

}  // namespace

TEST(Catalogue, MsgproofSpeaksGerman) {
  const RunResult missing = run(
      {MSGPROOF_LOCALIZED, "-n", "/nonexistent/de.po", "-p", "cat"}, german());
  EXPECT_EQ(1, missing.status);
  // The system's error text that follows depends on its own catalogues.
  EXPECT_EQ(0u, missing.err.find(
                    "msgproof: Fehler: /nonexistent/de.po zum Lesen öffnen: "))
      << missing.err;

  const RunResult usage = run({MSGPROOF_LOCALIZED, "-f"}, german());
  EXPECT_EQ(1, usage.status);
  EXPECT_EQ(0u, usage.err.find("Aufruf: msgproof [-fsv] [-l Sprache]"))
      << usage.err;

  const RunResult version = run({MSGPROOF_LOCALIZED, "-v"}, german());
  EXPECT_EQ("msgproof (textmend) 0.7\n", version.out);
}

TEST(Catalogue, PostproofSpeaksGerman) {
  const RunResult missing =
      run({POSTPROOF_LOCALIZED, "-n", "/nonexistent/m", "-p", "cat"},
          german());
  EXPECT_EQ(1, missing.status);
  EXPECT_EQ(0u, missing.err.find(
                    "postproof: Fehler: /nonexistent/m zum Lesen öffnen: "))
      << missing.err;
  const RunResult usage = run({POSTPROOF_LOCALIZED, "--help"}, german());
  EXPECT_EQ(0, usage.status);
  EXPECT_EQ(0u, usage.out.find("Aufruf: postproof")) << usage.out;
}

TEST(Catalogue, PostproofComparesHeaderNamesInAsciiInAnyLocale) {
  // In a Turkish locale I and i are no pair of cases; header names are
  // compared as ASCII all the same.
  if (system("locale -a 2>/dev/null | grep -qix 'tr_TR.utf-\\?8'") != 0) {
    GTEST_SKIP() << "needs the locale tr_TR.UTF-8 (localedef -i tr_TR -f "
                    "UTF-8 tr_TR.UTF-8)";
  }
  const std::string message = "SUBJECT: Helo\nFrom: a\n\nBody\n";
  for (const char* language : {"LANGUAGE=de", "LANGUAGE=tr"}) {
    RunOptions options;
    options.input = message;
    options.environment = {language, "LC_ALL=tr_TR.UTF-8"};
    const RunResult result =
        run({POSTPROOF_LOCALIZED, "-k", "subject", "-n", "-", "-f", "-p",
             "sed", "s/Helo/Hello/"},
            options);
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ("SUBJECT: Hello\nFrom: a\n\nBody\n", result.out) << language;
  }
}

TEST(Catalogue, MsgproofProofsItsOwnTranslation) {
  const std::string po = read_file(GERMAN_PO);
  ASSERT_FALSE(po.empty());
  const RunResult same =
      run_on(MSGPROOF_LOCALIZED, po, false, {"-s", "-f", "-p", "cat"});
  EXPECT_EQ(0, same.status) << same.err;
  EXPECT_TRUE(same.out == po) << "the round trip keeps every byte";

  ScratchDir dir;
  write_file(dir / "de.po", po);
  const RunResult edited = run({MSGPROOF_LOCALIZED, "-n", dir / "de.po", "-f",
                                "-p", "sed", "s/schließen/zumachen/"});
  EXPECT_EQ(0, edited.status) << edited.err;
  const std::string result = read_file(dir / "de.po");
  EXPECT_NE(std::string::npos,
            result.find("Leseende der Eingabe-Pipe zumachen"));
  EXPECT_NE(std::string::npos,
            result.find("msgid \"close read end of input pipe\""));
  const std::string check = "msgfmt -c -o /dev/null " + (dir / "de.po");
  EXPECT_EQ(0, system(check.c_str()));
}
