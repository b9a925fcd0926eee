// Where the game's data tree (lang/, Menu/, Sounds/) is found when the game is
// started from anywhere: from a build, from an unpacked zip, or installed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tornello {

// The folders to look in, in order. A folder the player named (`--data`, else
// $TORNELLO_DATA) is the only one. Otherwise: the current folder, then the
// executable's folder and the places a build or an install puts the data beside
// it (data/, ../data, ../share/games/tornello). No folder appears twice.
std::vector<std::filesystem::path> data_folder_candidates(
    const std::optional<std::string>& chosen, const std::filesystem::path& current,
    const std::optional<std::filesystem::path>& executable);

// The first of `candidates` that holds a lang folder.
std::optional<std::filesystem::path> first_data_folder(
    const std::vector<std::filesystem::path>& candidates);

// The running program's file, or nothing where the system does not tell.
std::optional<std::filesystem::path> executable_path();

// Finds the data as above and makes it the working directory, since every path
// the game opens is relative to it. Returns "" on success, else the one-line
// reason naming the places tried.
std::string enter_data_folder(const std::optional<std::string>& option);

}  // namespace tornello
