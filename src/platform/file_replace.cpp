#include "platform/file_replace.h"

#include <cstdio>
#include <filesystem>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tornello {

namespace {

bool flush_to_disk(std::FILE* stream) {
  if (std::fflush(stream) != 0) return false;
#ifdef _WIN32
  return ::_commit(::_fileno(stream)) == 0;
#else
  return ::fsync(::fileno(stream)) == 0;
#endif
}

bool rename_over(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // A plain rename refuses to replace an existing file there.
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

bool replace_file(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), error);
  const std::string temporary = path + ".new";
  std::FILE* stream = std::fopen(temporary.c_str(), "wb");
  if (stream == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  written = flush_to_disk(stream) && written;
  written = std::fclose(stream) == 0 && written;
  if (written && rename_over(temporary, path)) return true;
  fs::remove(temporary, error);
  return false;
}

}  // namespace tornello
