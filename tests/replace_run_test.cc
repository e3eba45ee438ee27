// End-to-end tests of how the user's file is replaced: full file systems,
// kills at any moment, runs side by side, the file changed or swapped
// during a run, targets that are no regular file, directories the user may
// not write, and filters that do not read all of their input. Each test
// makes the condition itself: a mount namespace of its own with a tmpfs on
// /tmp and a small tmpfs for the target, a second user id, FIFOs, signals.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run.h"
#include "test_files.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs bash `script` inside a mount namespace of its own whose /tmp is a
// fresh tmpfs of `tmp_size`; the mounts vanish with it. The scratch
// directory `dir`, which may lie under /tmp, is mounted on /mnt and is the
// script's working directory; it holds copies of both tools (./msgproof,
// ./postproof).
Outcome in_namespace(const ScratchDir& dir, const std::string& script,
                     const std::string& tmp_size = "256m") {
  write_file(dir / "script", script);
  const std::string command =
      "cd '" + dir.path +
      "' && cp '" MSGPROOF "' '" POSTPROOF
      "' . && unshare -m --propagation private bash -c "
      "'mkdir -p /mnt && mount --bind . /mnt && cd /mnt && "
      "mount -t tmpfs -o size=" +
      tmp_size + " tmpfs /tmp && exec bash -eu script' > out 2> err";
  Outcome outcome;
  const int status = system(command.c_str());
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.out = read_file(dir / "out");
  outcome.err = read_file(dir / "err");
  return outcome;
}

// Why a test cannot make its conditions here, or empty if it can.
std::string namespace_missing() {
  if (system("unshare -m --propagation private sh -c "
             "'mount -t tmpfs tmpfs /mnt' 2>/dev/null") != 0) {
    return "needs a mount namespace with tmpfs mounts (unshare -m, as root)";
  }
  return "";
}

#define REQUIRE_NAMESPACE()                                        \
  if (const std::string why = namespace_missing(); !why.empty()) { \
    GTEST_SKIP() << why;                                           \
  }

// A PO file of about `size` bytes whose translations hold the misspelt
// words Dtaei and Odrner.
std::string po_text(size_t size) {
  std::string po = "msgid \"\"\nmsgstr \"\"\n\"Language: de\\n\"\n\n";
  for (int i = 0; po.size() < size; i++) {
    const std::string n = std::to_string(i);
    po += "#: src/file.c:" + n + "\nmsgid \"File " + n +
          " in folder\"\nmsgstr \"Dtaei " + n + " im Odrner\"\n\n";
  }
  return po;
}

// `text` with the random part of every temporary name ("textmend-" and
// six letters or digits) shown as XXXXXX; the names found go to `*names`
// when given.
std::string masked(std::string text,
                   std::vector<std::string>* names = nullptr) {
  const std::string stem = "textmend-";
  for (size_t at = 0; (at = text.find(stem, at)) != std::string::npos;) {
    at += stem.size();
    size_t end = at;
    while (end < text.size() && end - at < 6 &&
           isalnum(static_cast<unsigned char>(text[end]))) {
      end++;
    }
    if (end - at == 6) {
      if (names != nullptr) {
        size_t start = text.rfind(' ', at);
        start = start == std::string::npos ? 0 : start + 1;
        names->push_back(text.substr(start, end - start));
      }
      text.replace(at, 6, "XXXXXX");
    }
  }
  return text;
}

}  // namespace

TEST(Replace, FullFileSystemLeavesTheFileAsItWas) {
  REQUIRE_NAMESPACE();
  // Another file system than /tmp: the result is copied beside the target,
  // where it does not fit. The same file system: the result itself does
  // not fit into /tmp.
  struct Case {
    const char* name;
    std::string tmp_size, setup, target, err;
    std::string out;  // status, whether unchanged, what the directory holds
  };
  const Case cases[] = {
      {"other file system", "256m",
       "mkdir small && mount -t tmpfs -o size=1m tmpfs small", "small/de.po",
       "msgproof: error: copy /tmp/textmend-XXXXXX to the directory of "
       "small/de.po: No space left on device.\n",
       "1\nunchanged\nde.po\n"},
      {"same file system", "1m", "ln -s /tmp small", "small/de.po",
       "msgproof: error: writing file: No space left on device.\n",
       "1\nunchanged\nde.po\ntextmend-XXXXXX\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_file(dir / "old.po", po_text(600 * 1024));
    const Outcome o = in_namespace(
        dir,
        c.setup + "\ncp old.po " + c.target + "\nstatus=0; ./msgproof -n " +
            c.target +
            " -f -p sed -- s/Dtaei/Datei/ 2> tool-err || status=$?\n"
            "echo $status\ncmp old.po " +
            c.target + " && echo unchanged\nls -A small\n",
        c.tmp_size);
    // The result file of a failed run stays in /tmp, nothing beside the
    // target.
    EXPECT_EQ(c.out, masked(o.out)) << c.name << "\n" << o.err;
    const std::string err = read_file(dir / "tool-err");
    EXPECT_EQ(c.err, masked(err)) << c.name;
  }
}

TEST(Replace, KilledAtAnyMomentTheFileIsOldOrNew) {
  REQUIRE_NAMESPACE();
  ScratchDir dir;
  write_file(dir / "old.po", po_text(4 * 1024 * 1024));
  // Each run is killed after a random time between none and a little more
  // than a whole run takes, with SIGKILL, SIGINT or SIGTERM, its target on
  // /tmp itself or on a file system of its own.
  const Outcome o = in_namespace(dir, R"sh(
mkdir other && mount -t tmpfs tmpfs other
sed 's/Dtaei/Datei/' old.po > new.po
for dir in /tmp other; do
  cp old.po $dir/de.po
  start=$(date +%s%N)
  ./msgproof -n $dir/de.po -f -p sed -- s/Dtaei/Datei/
  took=$(( ($(date +%s%N) - start) / 1000 ))
  cmp -s new.po $dir/de.po || echo "BAD: the plain run failed"
  old=0 new=0
  for i in $(seq 60); do
    cp old.po $dir/de.po
    ./msgproof -n $dir/de.po -f -p sed -- s/Dtaei/Datei/ 2>/dev/null & pid=$!
    sleep "$(( RANDOM * took * 13 / 10 / 32768 ))e-6"
    case $(( i % 3 )) in 0) sig=KILL;; 1) sig=INT;; 2) sig=TERM;; esac
    kill -$sig $pid 2>/dev/null || true
    { wait $pid; } 2>/dev/null || true
    if cmp -s old.po $dir/de.po; then old=$((old + 1))
    elif cmp -s new.po $dir/de.po; then new=$((new + 1))
    else echo "BAD: $dir, kill $i by SIG$sig left neither the old nor the new file"
    fi
    rm -f $dir/textmend-*
  done
  echo "$dir: $old old, $new new" >&2
done
echo done
)sh");
  EXPECT_EQ("done\n", o.out) << o.err;
  RecordProperty("outcomes", o.err);
}

TEST(Replace, OverlappingRunsNeverMixOrLoseEdits) {
  REQUIRE_NAMESPACE();
  ScratchDir dir;
  write_file(dir / "old.po", po_text(2 * 1024 * 1024));
  // Two runs on one file at once, each mending another word. Whatever the
  // timing, the file ends up as one run or both runs one after the other
  // left it, and a run that lost the race says so and keeps its result.
  const Outcome o = in_namespace(dir, R"sh(
mkdir other && mount -t tmpfs tmpfs other
sed 's/Dtaei/Datei/' old.po > a.po
sed 's/Odrner/Ordner/' old.po > b.po
sed 's/Odrner/Ordner/' a.po > ab.po
changed='msgproof: error: [a-z/]*de.po changed during the run; the merged result is kept in /tmp/textmend-[A-Za-z0-9]{6}\.'
for dir in /tmp other; do
  for i in $(seq 8); do
    cp old.po $dir/de.po
    ./msgproof -n $dir/de.po -f -p sed -- s/Dtaei/Datei/ 2> err-a & a=$!
    ./msgproof -n $dir/de.po -f -p sed -- s/Odrner/Ordner/ 2> err-b & b=$!
    sa=0; wait $a || sa=$?
    sb=0; wait $b || sb=$?
    for run in a b; do
      s=$sa; [ $run = b ] && s=$sb
      if [ $s = 1 ]; then
        grep -Eqx "$changed" err-$run || echo "BAD: $dir $i run $run: $(cat err-$run)"
        [ "$(wc -l < err-$run)" = 1 ] || echo "BAD: $dir $i run $run: more than one line"
        kept=$(grep -Eo '/tmp/textmend-[A-Za-z0-9]{6}' err-$run)
        cmp -s $kept $run.po || cmp -s $kept ab.po || echo "BAD: $dir $i run $run: kept result"
      elif [ $s != 0 ]; then echo "BAD: $dir $i run $run: status $s"; fi
    done
    f=$dir/de.po
    case $sa$sb in
      00) cmp -s ab.po $f || echo "BAD: $dir $i: both succeeded, the file is not both";;
      01) cmp -s a.po $f || cmp -s ab.po $f || echo "BAD: $dir $i: a won, the file is not a";;
      10) cmp -s b.po $f || cmp -s ab.po $f || echo "BAD: $dir $i: b won, the file is not b";;
      *) echo "BAD: $dir $i: neither run succeeded";;
    esac
    rm -f /tmp/textmend-* $dir/textmend-*
  done
done
echo done
)sh");
  EXPECT_EQ("done\n", o.out) << o.err;
}

TEST(Replace, FileChangedOrSwappedDuringAnEditorRunIsLeftToTheOtherParty) {
  const std::string po = po_text(1000);
  struct Case {
    const char* change;
    bool link;
    std::string after;  // the file as the other party left it
  };
  const Case cases[] = {
      {"echo '# more' >> \"$2\"", false, po + "# more\n"},
      {"cp \"$2\" \"$2.new\" && mv \"$2.new\" \"$2\"", false, po},
      {"ln -sf other \"$2\"", true, "another file\n"}};
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string target = dir / "de.po";
    write_file(target, po);
    write_file(dir / "other", "another file\n");
    RunOptions options;
    options.terminal = options.input_from_terminal =
        options.output_to_terminal = true;
    // The program edits the work file, while someone else changes the PO
    // file.
    const RunResult result =
        run({MSGPROOF, "-n", target, "-p", "sh", "--", "-c",
             std::string("sed -i s/Dtaei/Datei/ \"$1\" && ") + c.change, "sh",
             "%f", target},
            options);
    EXPECT_EQ(1, result.status) << c.change;
    std::vector<std::string> kept;
    EXPECT_EQ("msgproof: error: " + target +
                  " changed during the run; the edited work text is kept in "
                  "/tmp/textmend-XXXXXX.\n",
              masked(result.err, &kept))
        << c.change;
    ASSERT_EQ(1u, kept.size());
    ASSERT_EQ(1u, result.temp_files.count(kept[0]));
    EXPECT_NE(std::string::npos,
              result.temp_files.at(kept[0]).find("+ \"Datei 0 im Odrner\""))
        << "the user's edits are kept";
    struct stat status;
    ASSERT_EQ(0, lstat(target.c_str(), &status));
    EXPECT_EQ(c.link, S_ISLNK(status.st_mode)) << c.change;
    EXPECT_EQ("another file\n", read_file(dir / "other"));
    EXPECT_EQ(c.after, read_file(target)) << c.change;
  }
}

TEST(Replace, FifoDirectoryAndDeviceAreRefusedBeforeAnythingIsMade) {
  REQUIRE_NAMESPACE();
  ScratchDir dir;
  // The program would leave a mark; /tmp must stay empty.
  const Outcome o = in_namespace(dir, R"sh(
mkfifo fifo
mkdir directory
for tool in msgproof postproof; do
  for target in fifo directory /dev/null; do
    for mode in -f ''; do
      status=0
      timeout 10 ./$tool -n $target $mode -p sh -- -c 'touch ran; cat' \
        > /dev/null 2> tool-err || status=$?
      echo "$tool $target $mode: $status $(cat tool-err)"
    done
  done
done
ls -A /tmp
[ -e ran ] && echo "the program ran"
echo done
)sh");
  std::string want;
  for (const char* tool : {"msgproof", "postproof"}) {
    for (const char* target : {"fifo", "directory", "/dev/null"}) {
      for (const char* mode : {"-f", ""}) {
        want += std::string(tool) + " " + target + " " + mode + ": 1 " + tool +
                ": error: " + target + " is not a regular file.\n";
      }
    }
  }
  EXPECT_EQ(want + "done\n", o.out) << o.err;
}

TEST(Replace, DirectoryThatCannotTakeTheReplacementIsRefusedBeforeTheProgram) {
  REQUIRE_NAMESPACE();
  if (system("command -v setpriv >/dev/null") != 0) {
    GTEST_SKIP() << "needs setpriv to act as another user";
  }
  ScratchDir dir;
  chmod(dir.path.c_str(), 0755);
  // A user who may write the file but not its directory, and a read-only
  // file system.
  const Outcome o = in_namespace(dir, R"sh(
mkdir locked readonly marks
chmod 755 locked; chmod 777 marks
printf 'msgid "a"\nmsgstr "b"\n' > locked/de.po
chown 65534:65534 locked/de.po
cp locked/de.po readonly/de.po
mount --bind readonly readonly && mount -o remount,bind,ro readonly
as_nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"
for run in "$as_nobody ./msgproof -n locked/de.po" "./msgproof -n readonly/de.po"; do
  for mode in -f ''; do
    status=0
    $run $mode -p sh -- -c 'touch marks/ran; cat' > /dev/null 2> tool-err || status=$?
    echo "$status $(cat tool-err)"
  done
done
ls -A marks
echo done
)sh");
  EXPECT_EQ(
      "1 msgproof: error: cannot replace locked/de.po in its directory: "
      "Permission denied.\n"
      "1 msgproof: error: cannot replace locked/de.po in its directory: "
      "Permission denied.\n"
      "1 msgproof: error: cannot replace readonly/de.po in its directory: "
      "Read-only file system.\n"
      "1 msgproof: error: cannot replace readonly/de.po in its directory: "
      "Read-only file system.\n"
      "done\n",
      o.out)
      << o.err;
}
