// Tests of the diagnostic line and the allocation routines.
#include <errno.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support.h"

TEST(Fatal, WritesOneLineAndExitsWithOne) {
  EXPECT_EXIT(fatal(0, "open %s for reading", "x.po"),
              testing::ExitedWithCode(1),
              "^tool: error: open x.po for reading\\.\n$");
}

TEST(Fatal, ReportsTheErrorNumberCurrentOnEntry) {
  EXPECT_EXIT(
      {
        errno = ENOENT;
        fatal(FATAL_ERRNO, "open %s", "x");
      },
      testing::ExitedWithCode(1),
      "^tool: error: open x: No such file or directory\\.\n$");
}

TEST(Fatal, QuotedLineComesBeforeTheFullStop) {
  EXPECT_EXIT(fatal(0, "bad line:\n%s", "msgctxt \"a\""),
              testing::ExitedWithCode(1),
              "^tool: error: bad line:\nmsgctxt \"a\"\\.\n$");
}

TEST(Fatal, InChildUsesChildLabelAndStatus128) {
  EXPECT_EXIT(
      {
        errno = EACCES;
        fatal(FATAL_ERRNO | FATAL_IN_CHILD, "exec %s", "prog");
      },
      testing::ExitedWithCode(128),
      "^tool: error in child process: exec prog: Permission denied\\.\n$");
}

TEST(Fatal, ChildDoesNotFlushParentBuffers) {
  // Text the parent has buffered for a file must reach it once, from the
  // parent: a child that fails must not write its copy of the buffer.
  FILE* file = tmpfile();
  ASSERT_NE(nullptr, file);
  setvbuf(file, nullptr, _IOFBF, BUFSIZ);
  fputs("buffered", file);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    freopen("/dev/null", "w", stderr);
    fatal(FATAL_IN_CHILD, "x");
  }
  int status;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128) << status;
  struct stat after_child;
  ASSERT_EQ(0, fstat(fileno(file), &after_child));
  EXPECT_EQ(0, after_child.st_size) << "the child flushed the buffer";
  fclose(file);
}

TEST(Alloc, ExhaustionIsFatal) {
  // Not anchored at the start: a sanitizer may warn first.
  EXPECT_EXIT(alloc_or_die(SIZE_MAX / 2), testing::ExitedWithCode(1),
              "tool: error: could not allocate memory\\.\n$");
  void* block = alloc_or_die(16);
  EXPECT_EXIT(realloc_or_die(block, SIZE_MAX / 2), testing::ExitedWithCode(1),
              "tool: error: could not allocate memory\\.\n$");
  free(block);
}
