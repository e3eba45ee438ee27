// Tests of the line reader and the stream operations.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"
#include "test_files.h"

namespace {

// Reads all lines of `text` with read_line, recording each capacity.
std::vector<std::string> read_all(const std::string& text,
                                  std::vector<size_t>* capacities = nullptr) {
  FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  std::vector<std::string> lines;
  char* line = nullptr;
  size_t capacity = 0;
  while ((line = read_line(line, &capacity, stream)) != nullptr) {
    lines.emplace_back(line);
    if (capacities != nullptr) {
      capacities->push_back(capacity);
    }
  }
  EXPECT_EQ(0u, capacity);
  fclose(stream);
  return lines;
}

}  // namespace

TEST(ReadLine, ReturnsLinesWholeWhateverTheirLength) {
  for (size_t length : {1, 1022, 1023, 1024, 2047, 2048, 5000, 100000}) {
    const std::string longline(length, 'x');
    std::vector<size_t> capacities;
    const auto lines = read_all("a\n" + longline + "\nb\n", &capacities);
    ASSERT_EQ(3u, lines.size()) << "length " << length;
    EXPECT_EQ("a\n", lines[0]);
    EXPECT_EQ(longline + "\n", lines[1]) << "length " << length;
    EXPECT_EQ("b\n", lines[2]);
    EXPECT_EQ(1024u, capacities[0]);
    EXPECT_GT(capacities[1], length + 1) << "length " << length;
    EXPECT_EQ(0u, capacities[1] % 1024) << "grows in steps of 1024";
    EXPECT_EQ(capacities[1], capacities[2]) << "the buffer never shrinks";
  }
}

TEST(ReadLine, KeepsEveryByteOfALine) {
  const auto lines = read_all("  \tlead\r\n\n\xe4\xf6\xfc latin-1\n");
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("  \tlead\r\n", lines[0]);
  EXPECT_EQ("\n", lines[1]);
  EXPECT_EQ("\xe4\xf6\xfc latin-1\n", lines[2]);
}

TEST(ReadLine, LastLineMayLackItsNewline) {
  const auto lines = read_all("one\ntwo");
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("two", lines[1]);
}

TEST(ReadLine, EmptyInputGivesNullAtOnce) {
  EXPECT_TRUE(read_all("").empty());
}

TEST(ReadLine, ZeroByteIsRefused) {
  for (const std::string& text :
       {std::string("a\0b\n", 4), std::string("a\nb\0", 4),
        std::string("\0", 1)}) {
    EXPECT_EXIT(read_all(text), testing::ExitedWithCode(1),
                "^tool: error: found a zero byte in the input; only text can "
                "be handled\\.\n$");
  }
}

TEST(ReadLine, ReadErrorIsFatal) {
  EXPECT_EXIT(
      {
        FILE* stream = fopen("/dev/null", "w");
        size_t capacity = 0;
        read_line(nullptr, &capacity, stream);
      },
      testing::ExitedWithCode(1),
      "^tool: error: reading file: Bad file descriptor\\.\n$");
}

// Lines of every length from 1 to 150 bytes, across every kind of boundary
// of the stream's buffer and of the reader's 64-byte chunks, the last one
// without its newline.
std::string lines_of_every_length() {
  std::string text;
  for (size_t length = 1; length <= 150; length++) {
    text += std::string(length - 1, static_cast<char>('a' + length % 26));
    text += '\n';
  }
  return text + "end";
}

// Reads `text` with next_line through a stream buffer of `buffer_size`
// bytes (0: unbuffered).
std::vector<std::string> read_views(const std::string& text,
                                    size_t buffer_size) {
  FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  setvbuf(stream, nullptr, buffer_size == 0 ? _IONBF : _IOFBF, buffer_size);
  std::vector<std::string> lines;
  line_reader reader = {stream};
  for (std::string_view line; !(line = next_line(&reader)).empty();) {
    lines.emplace_back(line);
  }
  free(reader.own);
  fclose(stream);
  return lines;
}

TEST(NextLine, HandsOutEveryLineWhateverTheBufferBoundaries) {
  const std::string text = lines_of_every_length();
  for (size_t buffer_size : {0, 1, 63, 64, 65, 127, 128, 200, 4096, 65536}) {
    const auto lines = read_views(text, buffer_size);
    ASSERT_EQ(151u, lines.size()) << "buffer " << buffer_size;
    std::string joined;
    for (const auto& line : lines) {
      joined += line;
    }
    EXPECT_EQ(text, joined) << "buffer " << buffer_size;
    EXPECT_EQ("end", lines.back());
  }
}

TEST(NextLine, RefusesAZeroByteWhereverItLies) {
  const std::string text = lines_of_every_length();
  for (size_t at : {0ul, 63ul, 64ul, 200ul, text.size() / 2, text.size() - 1}) {
    std::string broken = text;
    broken[at] = '\0';
    for (size_t buffer_size : {0, 64, 4096}) {
      EXPECT_EXIT(read_views(broken, buffer_size), testing::ExitedWithCode(1),
                  "^tool: error: found a zero byte in the input; only text "
                  "can be handled\\.\n$")
          << "at " << at << ", buffer " << buffer_size;
    }
  }
}

TEST(KeepLine, KeptRunsComeOutWholeAcrossRefills) {
  // Every line is kept but every seventh, which is replaced; the kept runs
  // must survive the buffer filling again and lines gathered in the
  // reader's own buffer.
  const std::string text = lines_of_every_length();
  std::string want;
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    want += ++number % 7 == 0 ? std::string("X\n") : text.substr(at, next - at);
    at = next;
  }
  for (size_t buffer_size : {0, 64, 100, 4096}) {
    FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    setvbuf(input, nullptr, buffer_size == 0 ? _IONBF : _IOFBF, buffer_size);
    char* written = nullptr;
    size_t written_size = 0;
    FILE* output = open_memstream(&written, &written_size);
    line_reader reader = {input};
    number = 0;
    for (std::string_view line; !(line = next_line(&reader)).empty();) {
      if (++number % 7 == 0) {
        flush_kept(&reader);
        put_bytes("X\n", 2, output);
      } else {
        keep_line(&reader, line, output);
      }
    }
    flush_kept(&reader);
    free(reader.own);
    fclose(input);
    fclose(output);
    EXPECT_EQ(want, std::string(written, written_size))
        << "buffer " << buffer_size;
    free(written);
  }
}

TEST(CopyUntilEither, StopsAtTheFirstOfTwoBytesWhateverTheLength) {
  for (size_t size = 0; size <= 40; size++) {
    for (size_t stop = 0; stop <= size; stop++) {  // stop == size: none
      for (char mark : {'"', '\\'}) {
        std::string text(size, 'x');
        for (size_t at = 0; at < size; at++) {
          text[at] = static_cast<char>('a' + at % 26);
        }
        if (stop < size) {
          text[stop] = mark;
          if (stop + 1 < size) {
            text[stop + 1] = mark == '"' ? '\\' : '"';  // a later one
          }
        }
        std::string out(size, '.');
        EXPECT_EQ(stop,
                  copy_until_either(text.data(), size, out.data(), '"', '\\'))
            << "size " << size << ", stop " << stop;
        EXPECT_EQ(text.substr(0, stop), out.substr(0, stop));
      }
    }
  }
}

TEST(PutText, WriteErrorIsFatal) {
  EXPECT_EXIT(
      {
        FILE* stream = fopen("/dev/full", "w");
        setvbuf(stream, nullptr, _IONBF, 0);
        put_text("x", stream);
      },
      testing::ExitedWithCode(1),
      "^tool: error: writing file: No space left on device\\.\n$");
}

TEST(CloseStream, FailedFlushIsFatal) {
  EXPECT_EXIT(
      {
        FILE* stream = fopen("/dev/full", "w");
        put_text("x", stream);
        close_stream(stream);
      },
      testing::ExitedWithCode(1),
      "^tool: error: closing file: No space left on device\\.\n$");
}

TEST(OpenStream, FailureNamesThePath) {
  EXPECT_EXIT(open_for_reading("/nonexistent/x.po"), testing::ExitedWithCode(1),
              "^tool: error: open /nonexistent/x.po for reading: No such file "
              "or directory\\.\n$");
  EXPECT_EXIT(open_for_writing("/nonexistent/x.po"), testing::ExitedWithCode(1),
              "^tool: error: open /nonexistent/x.po for writing: No such file "
              "or directory\\.\n$");
  EXPECT_EXIT(remove_file("/nonexistent/x.po"), testing::ExitedWithCode(1),
              "^tool: error: unlink /nonexistent/x.po: No such file or "
              "directory\\.\n$");
}

TEST(OpenTempFile, CreatesAPrivateFileInTheTemporaryDirectory) {
  char* first;
  char* second;
  FILE* stream = open_temp_file(&first);
  close_stream(open_temp_file(&second));
  EXPECT_STRNE(first, second);
  EXPECT_EQ(0, strncmp(first, P_tmpdir "/", strlen(P_tmpdir) + 1)) << first;
  struct stat status;
  ASSERT_EQ(0, stat(first, &status));
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(0600u, status.st_mode & 07777);
  put_text("written through the stream\n", stream);
  close_stream(stream);
  EXPECT_EQ("written through the stream\n", read_file(first));
  remove_file(first);
  remove_file(second);
  free(first);
  free(second);
}
