#include "platform/line_reader.h"

#include <sys/stat.h>

namespace tornello {

std::unique_ptr<LineReader> LineReader::open_for_reading(const std::string& path) {
  struct stat info;
  // A directory opens under fopen on Linux but reads nothing useful.
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  return std::unique_ptr<LineReader>(new LineReader(file));
}

LineReader::~LineReader() {
  std::fclose(file_);
}

int LineReader::peek() {
  if (position_ == count_) {
    count_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    position_ = 0;
    if (count_ == 0) return -1;
  }
  return static_cast<unsigned char>(buffer_[position_]);
}

int LineReader::take() {
  int c = peek();
  if (c >= 0) ++position_;
  return c;
}

std::string LineReader::read_line() {
  std::string line;
  for (;;) {
    int c = take();
    if (c < 0 || c == '\n' || c == 0) return line;
    if (c == '\r') {
      if (peek() == '\n') take();
      return line;
    }
    line.push_back(static_cast<char>(c));
  }
}

bool LineReader::at_end() {
  return peek() < 0;
}

}  // namespace tornello
