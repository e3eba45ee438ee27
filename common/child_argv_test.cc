// Tests of the child's argument vector and its placeholders.
#include <gtest/gtest.h>

#include "support.h"

TEST(BuildChildArgv, TakesTheArgumentsAfterTheOptions) {
  char a0[] = "msgproof", a1[] = "-n", a2[] = "x.po", a3[] = "-c", a4[] = "%f";
  char* argv[] = {a0, a1, a2, a3, a4, nullptr};
  char** child_argv = build_child_argv("aspell", 5, argv, 3);
  EXPECT_STREQ("aspell", child_argv[0]);
  EXPECT_STREQ("-c", child_argv[1]);
  EXPECT_STREQ("%f", child_argv[2]);
  EXPECT_EQ(nullptr, child_argv[3]);

  char** alone = build_child_argv("prog", 3, argv, 3);
  EXPECT_STREQ("prog", alone[0]);
  EXPECT_EQ(nullptr, alone[1]);
  expand_placeholders(alone, "/tmp/w1");
  EXPECT_EQ(nullptr, alone[1]);
}

TEST(ExpandPlaceholders, RewritesArgumentsAfterTheProgram) {
  struct Case {
    const char* arg;
    const char* name;
    const char* want;
  };
  constexpr Case cases[] = {
      {"%f", "/tmp/w1", "/tmp/w1"},
      {"a%%f", "/tmp/w1", "a%f"},
      {"%%%f", "/tmp/w1", "%/tmp/w1"},
      {"x%fy%f", "/tmp/w1", "x/tmp/w1y/tmp/w1"},
      {"100%", "/tmp/w1", "100%"},
      {"%d", "/tmp/w1", "%d"},
      {"%", "/tmp/w1", "%"},
      {"%%%%", "/tmp/w1", "%%"},
      {"--file=%f", "-", "--file=-"},
      {"%f%f", "%f", "%f%f"},  // a % in the name is never expanded
  };
  for (const Case& c : cases) {
    char program[] = "%f", arg[32];
    snprintf(arg, sizeof arg, "%s", c.arg);
    char* child_argv[] = {program, arg, nullptr};
    expand_placeholders(child_argv, c.name);
    EXPECT_STREQ(c.want, child_argv[1]) << "argument " << c.arg;
    EXPECT_STREQ("%f", child_argv[0]) << "the program is never expanded";
  }
}
