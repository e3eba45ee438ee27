// Tests of looking at the user's file and replacing it with the result.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "support.h"
#include "test_files.h"

namespace {

// A result file in the temporary directory, as the edit cycle makes it.
std::string make_result(const std::string& text) {
  char* name;
  FILE* stream = open_temp_file(&name);
  put_text(text.c_str(), stream);
  close_stream(stream);
  std::string copy = name;
  free(name);
  return copy;
}

bool exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

// What `ls` lists in `dir`, one name a line.
std::string listing(const ScratchDir& dir) {
  std::string command = "ls -A '" + dir.path + "'";
  FILE* ls = popen(command.c_str(), "r");
  std::string names;
  char line[512];
  while (fgets(line, sizeof line, ls) != nullptr) {
    names += line;
  }
  pclose(ls);
  return names;
}

}  // namespace

// /dev/shm is a file system of its own, so the rename from the temporary
// directory there crosses devices and the result is copied beside the
// target first.
TEST(MoveFile, KeepsOwnerGroupModeAndAclWhetherRenamedOrCopied) {
  const bool root = geteuid() == 0;
  const bool acl = system("command -v setfacl >/dev/null") == 0;
  if (!root || !acl) {
    GTEST_SKIP() << "needs root (to give the file away) and setfacl";
  }
  for (const char* parent : {P_tmpdir, "/dev/shm"}) {
    ScratchDir dir(parent);
    ASSERT_FALSE(dir.path.empty()) << parent;
    const std::string target = dir / "de.po";
    write_file(target, "old contents\n");
    ASSERT_EQ(0, chown(target.c_str(), 65534, 65534));
    ASSERT_EQ(0, chmod(target.c_str(), 0640));
    const std::string setfacl =
        "setfacl -m u:12345:r '" + target + "' 2>/dev/null";
    if (system(setfacl.c_str()) != 0) {
      GTEST_SKIP() << parent << " has no POSIX ACLs (setfacl failed)";
    }
    struct stat before;
    stat(target.c_str(), &before);

    const target_file examined = examine_target(target.c_str());
    const std::string result = make_result("new\n");
    move_file(result.c_str(), examined);

    struct stat after;
    ASSERT_EQ(0, stat(target.c_str(), &after));
    EXPECT_EQ("new\n", read_file(target)) << parent;
    EXPECT_NE(before.st_ino, after.st_ino) << "replaced, not written in place";
    EXPECT_EQ(before.st_mode, after.st_mode) << parent;
    EXPECT_EQ(65534u, after.st_uid) << parent;
    EXPECT_EQ(65534u, after.st_gid) << parent;
    const std::string getfacl =
        "getfacl -c '" + target + "' 2>/dev/null | grep -qx 'user:12345:r--'";
    EXPECT_EQ(0, system(getfacl.c_str())) << parent;
    EXPECT_FALSE(exists(result)) << "the result file is gone";
    EXPECT_EQ("de.po\n", listing(dir)) << "nothing left beside the target";
  }
}

TEST(MoveFile, SymbolicLinkStaysALink) {
  ScratchDir dir(P_tmpdir);
  const std::string real = dir / "real.po";
  const std::string link = dir / "link.po";
  write_file(real, "old\n");
  ASSERT_EQ(0, symlink("real.po", link.c_str()));
  const target_file examined = examine_target(link.c_str());
  move_file(make_result("new\n").c_str(), examined);
  struct stat status;
  ASSERT_EQ(0, lstat(link.c_str(), &status));
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ("new\n", read_file(real));
}

TEST(MoveFile, ChangedTargetKeepsBothSides) {
  // Changed in place, or replaced by another file or by a link: the other
  // party's file stays, and so does the result, named in the diagnostic.
  const char* changes[] = {"echo more >> de.po", "cp de.po x && mv x de.po",
                           "ln -sf other de.po"};
  for (const char* parent : {P_tmpdir, "/dev/shm"}) {
    for (const char* change : changes) {
      ScratchDir dir(parent);
      const std::string target = dir / "de.po";
      write_file(target, "old\n");
      write_file(dir / "other", "other\n");
      const target_file examined = examine_target(target.c_str());
      const std::string command = "cd '" + dir.path + "' && " + change;
      ASSERT_EQ(0, system(command.c_str()));
      const std::string changed = read_file(target);
      const std::string result = make_result("new\n");
      EXPECT_EXIT(move_file(result.c_str(), examined),
                  testing::ExitedWithCode(1),
                  "^tool: error: " + target +
                      " changed during the run; the merged result is kept in " +
                      result + "\\.\n$")
          << change;
      EXPECT_EQ(changed, read_file(target)) << change;
      EXPECT_EQ("new\n", read_file(result)) << change;
      unlink(result.c_str());
    }
  }
}

TEST(ExamineTarget, RefusesWhatCannotBeReplaced) {
  ScratchDir dir(P_tmpdir);
  ASSERT_EQ(0, mkfifo((dir / "fifo").c_str(), 0600));
  ASSERT_EQ(0, mkdir((dir / "dir").c_str(), 0700));
  struct Case {
    std::string path;
    std::string err;
  };
  const Case cases[] = {
      {dir / "fifo", dir / "fifo" + " is not a regular file\\."},
      {dir / "dir", dir / "dir" + " is not a regular file\\."},
      {"/dev/null", "/dev/null is not a regular file\\."},
      {dir / "missing", "open " + dir / "missing" +
                            " for reading: No such file or directory\\."},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(examine_target(c.path.c_str()), testing::ExitedWithCode(1),
                "^tool: error: " + c.err + "\n$");
  }
}
