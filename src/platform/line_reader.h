// Reads the game's 8-bit text files line by line. A line ends at CR, LF, CR LF
// or a zero byte; bytes are taken as they are, with no conversion.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tornello {

class LineReader {
 public:
  // Opens an existing file (never creates one). Returns null when it cannot be opened.
  static std::unique_ptr<LineReader> open_for_reading(const std::string& path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its end; empty at the end of the file.
  std::string read_line();
  // True when no byte is left; consumes nothing.
  bool at_end();

 private:
  explicit LineReader(std::FILE* file) : file_(file) {}
  int peek();
  int take();

  std::FILE* file_;
  char buffer_[4096];
  size_t count_ = 0;
  size_t position_ = 0;
};

}  // namespace tornello
