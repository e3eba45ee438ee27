// The least any tool of this design can do, for the benchmark: the same
// reads, pipe transfers, writes and rename as a run of msgproof or
// postproof, with no parsing at all. The file comes back unchanged.
//   io_floor filter|editor FILE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t block_size = 128 * 1024;
char block[block_size];

[[noreturn]] void fail(const char* what) {
  perror(what);
  exit(1);
}

// Copies up to `size` bytes (all, when size is 0) from `from` to `to`
// (dropped when `to` is -1); returns how many there were.
size_t copy(int from, int to, size_t size = 0) {
  size_t total = 0;
  while (size == 0 || total < size) {
    size_t want = block_size;
    if (size != 0 && size - total < want) {
      want = size - total;
    }
    const ssize_t got = read(from, block, want);
    if (got < 0) {
      fail("read");
    }
    if (got == 0) {
      break;
    }
    if (to >= 0 && write(to, block, static_cast<size_t>(got)) != got) {
      fail("write");
    }
    total += static_cast<size_t>(got);
  }
  return total;
}

int open_or_fail(const char* path, int flags) {
  const int fd = open(path, flags, 0600);
  if (fd < 0) {
    fail(path);
  }
  return fd;
}

int temp_file(char* name) {
  strcpy(name, "/tmp/io-floor-XXXXXX");
  const int fd = mkstemp(name);
  if (fd < 0) {
    fail("mkstemp");
  }
  return fd;
}

// Starts `program` with `in` as its standard input and `out` as its
// standard output, closing `other`, a pipe end it must not hold.
pid_t start(const char* program, int in, int out, int other = -1) {
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in, 0);
    dup2(out, 1);
    if (other >= 0) {
      close(other);
    }
    execlp(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: io_floor filter|editor FILE\n", stderr);
    return 2;
  }
  const char* file = argv[2];
  char result_name[32];
  const int result = temp_file(result_name);
  const int reread = open_or_fail(file, O_RDONLY);
  if (strcmp(argv[1], "filter") == 0) {
    // A writer process feeds cat while this one reads cat's output, the
    // file again, and writes the result, as the tools do.
    int to[2], from[2];
    if (pipe(to) != 0 || pipe(from) != 0) {
      fail("pipe");
    }
    const pid_t filter = start("cat", to[0], from[1], to[1]);
    close(to[0]);
    close(from[1]);
    const pid_t writer = fork();
    if (writer == 0) {
      close(from[0]);
      copy(open_or_fail(file, O_RDONLY), to[1]);
      _exit(0);
    }
    close(to[1]);
    size_t got;
    while ((got = copy(from[0], -1, block_size)) > 0) {
      copy(reread, result, got);
    }
    copy(reread, result);
    waitpid(writer, nullptr, 0);
    waitpid(filter, nullptr, 0);
  } else {
    char work_name[32];
    const int work = temp_file(work_name);
    copy(open_or_fail(file, O_RDONLY), work);
    close(work);
    waitpid(start("true", 0, 1), nullptr, 0);
    const int edited = open_or_fail(work_name, O_RDONLY);
    size_t got;
    while ((got = copy(edited, -1, block_size)) > 0) {
      copy(reread, result, got);
    }
    copy(reread, result);
    unlink(work_name);
  }
  if (close(result) != 0 || rename(result_name, file) != 0) {
    fail("rename");
  }
  return 0;
}
