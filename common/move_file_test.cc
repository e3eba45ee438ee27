// Tests of moving a result onto the user's file.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "support.h"
#include "test_files.h"

namespace {

// A result file in the temporary directory, as the edit cycle makes it.
std::string make_result(const std::string& text) {
  char* name = make_temp_name();
  write_file(name, text);
  std::string copy = name;
  free(name);
  return copy;
}

}  // namespace

TEST(MoveFile, KeepsTheTargetsPermissionsWhetherRenamedOrCopied) {
  // /dev/shm is a file system of its own, so the rename there crosses
  // devices and the contents are copied.
  for (const char* parent : {P_tmpdir, "/dev/shm"}) {
    ScratchDir dir(parent);
    ASSERT_FALSE(dir.path.empty()) << parent;
    const std::string target = dir / "de.po";
    write_file(target, "old contents\n");
    chmod(target.c_str(), 0644);
    struct stat before;
    stat(target.c_str(), &before);

    const std::string result = make_result("new\n");
    move_file(result.c_str(), target.c_str());

    struct stat after;
    ASSERT_EQ(0, stat(target.c_str(), &after));
    EXPECT_EQ("new\n", read_file(target)) << parent;
    EXPECT_EQ(0644u, after.st_mode & 07777) << parent;
    EXPECT_NE(0, access(result.c_str(), F_OK)) << "the result file is gone";
    if (std::string(parent) == "/dev/shm") {
      EXPECT_EQ(before.st_ino, after.st_ino) << "copied in place";
    }
  }
}

TEST(MoveFile, EmptySourceTruncatesTheTargetAcrossDevices) {
  ScratchDir dir("/dev/shm");
  const std::string target = dir / "m";
  write_file(target, "something\n");
  const std::string result = make_result("");
  move_file(result.c_str(), target.c_str());
  EXPECT_EQ("", read_file(target));
  EXPECT_NE(0, access(result.c_str(), F_OK));
}

TEST(MoveFile, SymbolicLinkStaysALink) {
  ScratchDir dir(P_tmpdir);
  const std::string real = dir / "real.po";
  const std::string link = dir / "link.po";
  write_file(real, "old\n");
  ASSERT_EQ(0, symlink("real.po", link.c_str()));
  const std::string result = make_result("new\n");
  move_file(result.c_str(), link.c_str());
  struct stat status;
  ASSERT_EQ(0, lstat(link.c_str(), &status));
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ("new\n", read_file(real));
}

TEST(MoveFile, MissingDirectoryIsFatal) {
  const std::string result = make_result("x\n");
  EXPECT_EXIT(move_file(result.c_str(), "/nonexistent/dir/x.po"),
              testing::ExitedWithCode(1),
              "^tool: error: rename " + result +
                  " /nonexistent/dir/x.po: No such file or directory\\.\n$");
  unlink(result.c_str());
}
