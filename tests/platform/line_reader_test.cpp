#include "platform/line_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

// Reads every line of `bytes` the way the game's loaders do: read one, then ask at_end.
Lines read_all(const std::string& bytes) {
  TempDir dir;
  auto reader = LineReader::open_for_reading(dir.write("f.txt", bytes));
  EXPECT_TRUE(reader);
  Lines lines;
  do {
    lines.push_back(reader ? reader->read_line() : "");
  } while (reader && !reader->at_end());
  return lines;
}

TEST(LineReader, EveryLineEndReadsTheSameAndLongLinesComeBackWhole) {
  // The first CR of the long line is the buffer's last byte and its LF starts the next fill.
  const std::string first(4095, 'q');
  std::string second(10000, 'w');
  second[4096] = 'X';
  const std::pair<std::string, Lines> cases[] = {
      {"red\r\ngreen\r\n", {"red", "green"}},
      {"red\ngreen\n", {"red", "green"}},
      {"red\rgreen\r", {"red", "green"}},
      {"red\r\ngreen", {"red", "green"}},
      {std::string("red\0green", 9), {"red", "green"}},
      {"a\n\nc\n", {"a", "", "c"}},
      {"", {""}},  // an empty file yields one empty line
      {first + "\r\n" + second + "\r\nend", {first, second, "end"}},
  };
  for (size_t k = 0; k < std::size(cases); ++k) {
    EXPECT_EQ(read_all(cases[k].first), cases[k].second) << "case " << k;
  }
}

TEST(LineReader, MissingFilesAndDirectoriesDoNotOpenAndNothingIsCreated) {
  TempDir dir;
  const std::string missing = dir.path() + "/nope.lng";
  EXPECT_FALSE(LineReader::open_for_reading(missing));
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(LineReader::open_for_reading(dir.path()));
}

}  // namespace
}  // namespace tornello
