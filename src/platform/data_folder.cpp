#include "platform/data_folder.h"

#include <algorithm>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tornello {

namespace fs = std::filesystem;

std::vector<fs::path> data_folder_candidates(const std::optional<std::string>& chosen,
                                             const fs::path& current,
                                             const std::optional<fs::path>& executable) {
  if (chosen) return {fs::path(*chosen)};
  std::vector<fs::path> places{current};
  if (executable) {
    const fs::path folder = executable->parent_path();
    for (const fs::path& place : {folder, folder / "data", folder.parent_path() / "data",
                                  folder.parent_path() / "share" / "games" / "tornello"}) {
      const fs::path normal = place.lexically_normal();
      if (std::find(places.begin(), places.end(), normal) == places.end()) {
        places.push_back(normal);
      }
    }
  }
  return places;
}

std::optional<fs::path> first_data_folder(const std::vector<fs::path>& candidates) {
  for (const fs::path& place : candidates) {
    std::error_code unreadable;
    if (fs::is_directory(place / "lang", unreadable)) return place;
  }
  return std::nullopt;
}

std::optional<fs::path> executable_path() {
#ifdef _WIN32
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return std::nullopt;
    if (length < name.size()) return fs::path(name.substr(0, length));
    name.resize(name.size() * 2);  // a path longer than MAX_PATH was cut short
  }
#else
  std::error_code missing;
  fs::path program = fs::read_symlink("/proc/self/exe", missing);
  if (missing) return std::nullopt;
  return program;
#endif
}

std::string enter_data_folder(const std::optional<std::string>& option) {
  std::optional<std::string> chosen = option;
  std::string named_by = chosen ? " (--data)" : "";
  if (const char* variable = std::getenv("TORNELLO_DATA"); !chosen && variable && *variable) {
    chosen = variable;
    named_by = " (TORNELLO_DATA)";
  }
  std::error_code failed;
  const fs::path current = fs::current_path(failed);
  const std::vector<fs::path> places = data_folder_candidates(chosen, current, executable_path());
  const std::optional<fs::path> found = first_data_folder(places);
  if (found) {
    fs::current_path(*found, failed);
    if (!failed) return "";
    return "cannot enter the data folder " + found->string() + ": " + failed.message();
  }
  std::string reason = "no game data (a folder holding lang/) in ";
  for (const fs::path& place : places) {
    reason += (place == places.front() ? "" : ", ") + place.string();
  }
  return reason + (chosen ? named_by : "; name the folder with --data DIR or TORNELLO_DATA");
}

}  // namespace tornello
