// Files, in-memory streams and scratch directories for tests.
#ifndef TEXTMEND_COMMON_TEST_FILES_H
#define TEXTMEND_COMMON_TEST_FILES_H

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

// An input stream over `text`; the caller's string must outlive it.
inline FILE* read_from(const std::string& text) {
  return fmemopen(const_cast<char*>(text.data()), text.size(), "r");
}

// An output stream in memory; text() is what was written once the code
// under test has closed `stream`.
struct MemoryOutput {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  std::string text() const { return std::string(buffer, size); }
  ~MemoryOutput() { free(buffer); }
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A directory made under `parent` (by default $TMPDIR, else the system's
// temporary directory) and removed with its contents at the end.
struct ScratchDir {
  explicit ScratchDir(const char* parent = nullptr) {
    if (parent == nullptr) {
      parent = getenv("TMPDIR");
    }
    if (parent == nullptr || parent[0] == '\0') {
      parent = P_tmpdir;
    }
    path = std::string(parent) + "/textmend-test-XXXXXX";
    if (mkdtemp(path.data()) == nullptr) {
      path.clear();
    }
  }
  ~ScratchDir() {
    if (!path.empty()) {
      std::string command = "rm -rf '" + path + "'";
      if (system(command.c_str()) != 0) {
        fprintf(stderr, "could not remove %s\n", path.c_str());
      }
    }
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string operator/(const std::string& name) const {
    return path + "/" + name;
  }
  std::string path;
};

#endif  // TEXTMEND_COMMON_TEST_FILES_H
