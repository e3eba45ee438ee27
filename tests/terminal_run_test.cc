// End-to-end tests with a real spell checker on a real terminal: aspell
// runs inside tmux, the test types the keys a user would, and only the
// misspelt word may change.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "test_files.h"

namespace {

// Output of a shell command.
std::string output_of(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return text;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    text.append(buffer, got);
  }
  pclose(pipe);
  return text;
}

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

// A tmux server of the test's own, with one window running `command`.
// Each gets a socket of its own, so that no two share a server.
int servers = 0;
class Terminal {
 public:
  explicit Terminal(const std::string& command)
      : tmux_("tmux -L textmend-test-" + std::to_string(getpid()) + "-" +
              std::to_string(++servers) + " ") {
    run("new-session -d -s proof -x 100 -y 30 " + quoted(command));
  }
  ~Terminal() { run("kill-server"); }

  // Waits up to ten seconds until the screen shows `text`.
  bool shows(const std::string& text) {
    for (int i = 0; i < 100; i++) {
      if (output_of(tmux_ + "capture-pane -p -t proof").find(text) !=
          std::string::npos) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  void type(const std::string& keys) { run("send-keys -t proof " + keys); }

 private:
  void run(const std::string& arguments) {
    const std::string command = tmux_ + arguments + " > /dev/null 2>&1";
    EXPECT_EQ(0, system(command.c_str())) << command;
  }
  std::string tmux_;
};

// Waits up to ten seconds for `path` to exist and returns its contents.
std::string wait_for_file(const std::string& path) {
  for (int i = 0; i < 100 && access(path.c_str(), F_OK) != 0; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return read_file(path);
}

const char po[] =
    "# English translation.\n"
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
    "\n"
    "#: main.c:1\n"
    "msgid \"Open teh file\"\n"
    "msgstr \"Open teh file\"\n"
    "\n"
    "msgid \"Save\"\n"
    "msgstr \"Save all changes\"\n";

const char message[] =
    "From: Ann <ann@example.org>\n"
    "Subject: The plan we recieve\n"
    "To: Bob <bob@example.org>\n"
    "\n"
    "> teh old plan\n"
    "Here is the new plan.\n"
    "-- \n"
    "teh signature\n";

std::string replaced(std::string text, const std::string& from,
                     const std::string& to, size_t nth) {
  size_t at = text.find(from);
  while (nth-- > 0) {
    at = text.find(from, at + 1);
  }
  return text.replace(at, from.size(), to);
}

// Runs `command` on the terminal, replaces the first word aspell offers,
// `word`, by `fix`, and returns the exit status line it left in `status`.
std::string proof_on_terminal(const ScratchDir& dir, const std::string& command,
                              const std::string& word, const std::string& fix) {
  Terminal terminal(command + "; echo status=$? > " + (dir / "status") +
                    "; sleep 5");
  EXPECT_TRUE(terminal.shows("r) Replace")) << "aspell did not ask";
  EXPECT_TRUE(terminal.shows(word));
  terminal.type("r");
  EXPECT_TRUE(terminal.shows("With:"));
  terminal.type(fix + " Enter");
  return wait_for_file(dir / "status");
}

}  // namespace

TEST(Terminal, AspellMendsOneWordOfAPoFile) {
  // The same misspelling in the msgid must stay: only translations are
  // handed over.
  const std::string want = replaced(po, "teh", "the", 1);
  ScratchDir dir;
  write_file(dir / "en.po", po);
  const std::string command = std::string(MSGPROOF) + " -n " + (dir / "en.po") +
                              " -p aspell -- --dont-backup --lang=en check %f";
  EXPECT_EQ("status=0\n", proof_on_terminal(dir, command, "teh", "the"));
  EXPECT_EQ(want, read_file(dir / "en.po"));

  // With standard input and output redirected, aspell still gets the
  // terminal.
  write_file(dir / "status", "");
  unlink((dir / "status").c_str());
  const std::string stdio = std::string(MSGPROOF) +
                            " -n - -p aspell -- --dont-backup --lang=en check %f < " +
                            (dir / "en.po") + " > " + (dir / "out.po");
  write_file(dir / "en.po", po);
  EXPECT_EQ("status=0\n", proof_on_terminal(dir, stdio, "teh", "the"));
  EXPECT_EQ(want, read_file(dir / "out.po"));
}

TEST(Terminal, AspellMendsTheSubjectOfAMessage) {
  // Quoted lines and the signature are not handed over, so their "teh"
  // stays; the subject is.
  const std::string want = replaced(message, "recieve", "receive", 0);
  ScratchDir dir;
  write_file(dir / "m", message);
  write_file(dir / "input", "unused\n");
  const std::string command =
      std::string(POSTPROOF) + " -q -s -k Subject -n " + (dir / "m") +
      " -p aspell -- --dont-backup --lang=en check %f < " + (dir / "input");
  EXPECT_EQ("status=0\n",
            proof_on_terminal(dir, command, "recieve", "receive"));
  EXPECT_EQ(want, read_file(dir / "m"));
}
