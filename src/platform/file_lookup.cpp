#include "platform/file_lookup.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tornello {

namespace {

bool same_ignoring_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    unsigned char x = static_cast<unsigned char>(a[k]);
    unsigned char y = static_cast<unsigned char>(b[k]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> split_components(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

}  // namespace

const std::vector<std::string>& FileLookup::listing(const std::string& directory) {
  auto found = listings_.find(directory);
  if (found != listings_.end()) return found->second;
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory.empty() ? "." : directory, error), end;
       !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return listings_.emplace(directory, std::move(names)).first->second;
}

std::vector<std::string> FileLookup::names_in(const std::string& path) {
  const std::optional<std::string> directory = resolve(path);
  if (!directory) return {};
  return listing(*directory);
}

std::optional<std::string> FileLookup::resolve(const std::string& path) {
  const std::vector<std::string> parts = split_components(path);
  if (parts.empty()) return std::nullopt;
  const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
  std::string resolved = absolute ? "/" : "";
  for (const std::string& part : parts) {
    std::string next;
    if (part == "." || part == "..") {
      next = part;
    } else {
      const std::vector<std::string>& names = listing(resolved);
      if (std::binary_search(names.begin(), names.end(), part)) {
        next = part;
      } else {
        auto match = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
          return same_ignoring_case(name, part);
        });
        if (match == names.end()) return std::nullopt;
        next = *match;
      }
    }
    if (!resolved.empty() && resolved.back() != '/') resolved += '/';
    resolved += next;
  }
  return resolved;
}

}  // namespace tornello
