// Tests of the bodyfile: extraction, merge and the round trip between them.
#include <string>

#include <gtest/gtest.h>

#include "postproof.h"
#include "support.h"
#include "test_files.h"

namespace {

kept_header from = {"From", nullptr};
kept_header subject = {"Subject", nullptr};
kept_header subject_and_from = {"Subject", &from};

body_settings settings(const char* flags, const kept_header* kept = nullptr) {
  const std::string f = flags;
  return {.strip_header = f.find('h') == std::string::npos,
          .quotes = f.find('q') != std::string::npos,
          .signature = f.find('s') != std::string::npos,
          .kept_headers = kept};
}

std::string extract(const std::string& message, const body_settings& s) {
  MemoryOutput bodyfile;
  extract_body(read_from(message), nullptr, bodyfile.stream, s);
  return bodyfile.text();
}

std::string merge(const std::string& message, const std::string& bodyfile,
                  const body_settings& s) {
  MemoryOutput output;
  merge_body(read_from(message), read_from(bodyfile), output.stream, s);
  return output.text();
}

const char message[] =
    "From: a@example.org\n"
    "Subject: Hello\n"
    " again\n"
    "To: b@example.org\n"
    "\n"
    "Dear B,\n"
    "> you wrote\n"
    ">> long ago\n"
    " > not a quote\n"
    "thanks.\n"
    "-- \n"
    "A\n"
    "> quoted in the signature\n";

}  // namespace

TEST(ExtractBody, WritesWhatTheSettingsSay) {
  struct Case {
    const char* flags;
    const kept_header* kept;
    std::string message;
    std::string want;
  };
  const std::string body =
      "Dear B,\n> you wrote\n>> long ago\n > not a quote\nthanks.\n";
  const std::string signature = "-- \nA\n> quoted in the signature\n";
  const Case cases[] = {
      {"", nullptr, message, body + signature},
      {"", &subject, message, "Subject: Hello\n again\n\n" + body + signature},
      {"", &subject_and_from, message,
       "From: a@example.org\nSubject: Hello\n again\n\n" + body + signature},
      {"q", nullptr, message,
       "Dear B,\n>\n>\n > not a quote\nthanks.\n-- \nA\n>\n"},
      {"s", nullptr, message, body},
      {"qs", &subject, message,
       "Subject: Hello\n again\n\nDear B,\n>\n>\n > not a quote\nthanks.\n"},
      {"h", &subject, message, message},
      {"hqs", nullptr, "> header\n-- \nX: y\n\nbody\n", ">\n"},
      {"", &subject, "Subject: only header\nX: 1\n", "Subject: only header\n"},
      {"", nullptr, "X: 1\n\n\tbody starts with a tab\n",
       "\tbody starts with a tab\n"},
      {"s", nullptr, "X: 1\n\n--  \n--\nsig\n", "--  \n--\nsig\n"},
      {"", &subject, "Subject: x\r\n\r\nbody\r\n", "Subject: x\r\n"},
      {"", nullptr, "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, extract(c.message, settings(c.flags, c.kept)))
        << "flags " << c.flags << "\n"
        << c.message;
  }
}

TEST(ExtractBody, CopyGetsTheWholeMessage) {
  for (const char* flags : {"", "qs", "hqs"}) {
    MemoryOutput copy, bodyfile;
    extract_body(read_from(message), copy.stream, bodyfile.stream,
                 settings(flags, &subject));
    EXPECT_EQ(message, copy.text()) << flags;
  }
}

TEST(MergeBody, UnchangedBodyfileGivesTheMessageBack) {
  const kept_header* const keep_lists[] = {nullptr, &subject,
                                           &subject_and_from};
  const std::string samples[] = {
      message,
      "Subject: x\n\n",
      "Subject: folded\n\tover\n two\nFrom: f\nSubject: second\n\n> q\n",
      "From: f\n\nno newline at the end",
      "From: f\n\n> last quote without newline",
      "From: f\n\nbody\n-- \nsig without newline",
      "\n-- \n",
  };
  for (const std::string& m : samples) {
    for (const char* flags : {"", "q", "s", "qs", "h", "hq", "hs", "hqs"}) {
      for (const kept_header* kept : keep_lists) {
        const body_settings s = settings(flags, kept);
        EXPECT_EQ(m, merge(m, extract(m, s), s))
            << "flags " << flags << " kept " << (kept ? kept->name : "none")
            << "\n"
            << m;
      }
    }
  }
}

TEST(MergeBody, EditsComeBackInPlace) {
  struct Case {
    const char* name;
    const char* flags;
    const kept_header* kept;
    std::string message;
    std::string bodyfile;
    std::string want;
  };
  const Case cases[] = {
      {"changed kept field and body", "qs", &subject, message,
       "Subject: Hallo\n again\n\nDear B,\n>\n>\n > not a quote\nthanks!\n",
       "From: a@example.org\nSubject: Hallo\n again\nTo: b@example.org\n\n"
       "Dear B,\n> you wrote\n>> long ago\n > not a quote\nthanks!\n-- \nA\n"
       "> quoted in the signature\n"},
      {"kept fields replaced by position", "", &subject,
       "Subject: a\nX: 1\nSubject: b\n\nbody\n", "Subject: b\n\nbody\n",
       "Subject: b\nX: 1\n\nbody\n"},
      {"renamed field", "", &subject, "Subject: a\nX: 1\n\nbody\n",
       "Topic: a\n\nbody\n", "Topic: a\nX: 1\n\nbody\n"},
      {"added field goes after the header", "", &subject,
       "Subject: a\nX: 1\n\nbody\n", "Subject: a\nKeywords: k\n\nbody\n",
       "Subject: a\nX: 1\nKeywords: k\n\nbody\n"},
      {"deleted marker shifts the quotes", "q", nullptr,
       "X: 1\n\n> one\n> two\nend\n", ">\nend\n", "X: 1\n\n> one\nend\n"},
      {"added marker takes the next quote", "q", nullptr,
       "X: 1\n\n> one\ntext\n> two\n", ">\n>\ntext\n",
       "X: 1\n\n> one\n> two\ntext\n"},
      {"header without an empty line gets one", "", nullptr, "X: 1\nY: 2\n", "",
       "X: 1\nY: 2\n\n"},
      {"empty message", "", nullptr, "", "", "\n"},
      {"empty message with -h", "h", nullptr, "", "", ""},
      {"block without its empty line", "", &subject,
       "Subject: a\n\nline 1\nline 2\n\nline 3\n",
       "Subject: a\nline 1\nline 2\n\nline 3\n",
       "Subject: a\nline 1\nline 2\n\nline 3\n"},
      {"-h: quotes are searched from the first line", "hq", nullptr,
       "> top\n\nbody\n", ">\n\nbody\n", "> top\n\nbody\n"},
      {"body edited without its last newline", "s", nullptr,
       "X: 1\n\nbody\n-- \nsig\n", "body!", "X: 1\n\nbody!\n-- \nsig\n"},
      {"block edited without its last newline", "", &subject,
       "Subject: a\nX: 1\n\nbody\n", "Subject: b", "Subject: b\nX: 1\n\n"},
  };
  for (const Case& c : cases) {
    const body_settings s = settings(c.flags, c.kept);
    EXPECT_EQ(c.want, merge(c.message, c.bodyfile, s)) << c.name;
  }
}

TEST(MergeBody, MarkerWithoutAQuotedLineIsFatal) {
  const std::string error =
      "^postproof: error: found marker for a removed line in the body "
      "file,\nbut cannot find a corresponding line in the message "
      "file\\.\n$";
  EXPECT_EXIT(merge("X: 1\n\n> one\n", ">\n>\n", settings("q")),
              testing::ExitedWithCode(1), error);
  // With the signature left out, a quoted line of the signature is no
  // candidate: taking it would lose the signature.
  EXPECT_EXIT(merge(message, "Dear B,\n>\n>\n>\n", settings("qs")),
              testing::ExitedWithCode(1), error);
}
