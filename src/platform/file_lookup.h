// Finds a data file whatever letter case and separators its path is spelled
// with ("Menu\EN\main.mnu", "sounds/pong/border.wav"). Directory listings are
// read once and cached, so repeated lookups never touch the disk again.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tornello {

class FileLookup {
 public:
  // The path to open for `path`, or nothing when no file or directory matches.
  // Each component matches exactly first, then without regard to ASCII case.
  std::optional<std::string> resolve(const std::string& path);
  // The names in the directory `path` (found as resolve finds it), sorted; empty
  // when there is no such directory.
  std::vector<std::string> names_in(const std::string& path);
  // Forgets every cached listing (for tools that write new files).
  void clear() { listings_.clear(); }

 private:
  const std::vector<std::string>& listing(const std::string& directory);
  std::unordered_map<std::string, std::vector<std::string>> listings_;
};

}  // namespace tornello
