// Tests of header fields and the keep list.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "postproof.h"
#include "support.h"
#include "test_files.h"

namespace {

std::vector<std::string> read_fields(const std::string& text) {
  FILE* stream = read_from(text);
  std::vector<std::string> fields;
  char* field = nullptr;
  size_t capacity = 0;
  while ((field = read_header_line(field, &capacity, stream)) != nullptr) {
    fields.emplace_back(field);
  }
  fclose(stream);
  return fields;
}

}  // namespace

TEST(ReadHeaderLine, JoinsContinuationLines) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"folded over three lines",
       "Subject: a\n b\n\tc\nFrom: x\n",
       {"Subject: a\n b\n\tc\n", "From: x\n"}},
      {"empty line ends the header even before a blank body line",
       "To: y\n\n  indented body\n",
       {"To: y\n", "\n", "  indented body\n"}},
      {"a blank-only line continues the field",
       "To: y\n  \nbody\n",
       {"To: y\n  \n", "body\n"}},
      {"last field without a newline", "To: y\n z", {"To: y\n z"}},
      {"long continuation",
       "X: 1\n " + std::string(3000, 'c') + "\n",
       {"X: 1\n " + std::string(3000, 'c') + "\n"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, read_fields(c.text)) << c.name;
  }
}

TEST(IsKeptHeader, MatchesTheNameBeforeAColon) {
  kept_header from = {"From", nullptr};
  kept_header subject = {"subject", &from};
  struct Case {
    const char* line;
    bool want;
  };
  constexpr Case cases[] = {
      {"Subject: x\n", true},
      {"SUBJECT: y\n", true},
      {"subject: z\n", true},
      {"from:x\n", true},
      {"Subject : x\n", false},
      {"Subjects: x\n", false},
      {"Sub: x\n", false},
      {"To: x\n", false},
      {"\n", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, is_kept_header(c.line, &subject)) << c.line;
  }
  EXPECT_FALSE(is_kept_header("Subject: x\n", nullptr));
  kept_header empty = {"", nullptr};
  EXPECT_TRUE(is_kept_header(": x\n", &empty));
  EXPECT_FALSE(is_kept_header("X: x\n", &empty));
  kept_header umlaut = {"\xc4rger", nullptr};  // Latin-1 A with diaeresis
  EXPECT_TRUE(is_kept_header("\xc4rger: x\n", &umlaut));
  EXPECT_FALSE(is_kept_header("\xe4rger: x\n", &umlaut))
      << "letters outside ASCII are not folded";
}
