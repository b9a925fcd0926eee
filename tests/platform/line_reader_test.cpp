#include "platform/line_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tornello {
namespace {

// Reads every line the way the game's loaders do: read one, then ask at_end.
std::vector<std::string> read_all(const std::string& path) {
  auto reader = LineReader::open_for_reading(path);
  EXPECT_TRUE(reader);
  std::vector<std::string> lines;
  if (!reader) return lines;
  do {
    lines.push_back(reader->read_line());
  } while (!reader->at_end());
  return lines;
}

class LineReaderTest : public ::testing::Test {
 protected:
  std::string file_with(const std::string& bytes) {
    std::string path = dir.path() + "/f" + std::to_string(counter++) + ".txt";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  TempDir dir;
  int counter = 0;
};

TEST_F(LineReaderTest, AllLineEndsReadTheSame) {
  const std::vector<std::string> two = {"red", "green"};
  EXPECT_EQ(read_all(file_with("red\r\ngreen\r\n")), two);
  EXPECT_EQ(read_all(file_with("red\ngreen\n")), two);
  EXPECT_EQ(read_all(file_with("red\rgreen\r")), two);
  EXPECT_EQ(read_all(file_with("red\r\ngreen")), two);
  EXPECT_EQ(read_all(file_with(std::string("red\0green", 9))), two);
}

TEST_F(LineReaderTest, EmptyLinesAndFiles) {
  EXPECT_EQ(read_all(file_with("a\n\nc\n")), (std::vector<std::string>{"a", "", "c"}));
  // An empty file yields exactly one empty line.
  auto reader = LineReader::open_for_reading(file_with(""));
  ASSERT_TRUE(reader);
  EXPECT_TRUE(reader->at_end());
  EXPECT_EQ(reader->read_line(), "");
  // A lone CR at the very end finishes the last line.
  EXPECT_EQ(read_all(file_with("x\r")), (std::vector<std::string>{"x"}));
}

TEST_F(LineReaderTest, LinesLongerThanTheBufferComeBackWhole) {
  // The first CR is the buffer's last byte and its LF starts the next fill.
  const std::string first(4095, 'q');
  std::string second(10000, 'w');
  second[4096] = 'X';
  auto lines = read_all(file_with(first + "\r\n" + second + "\r\nend"));
  EXPECT_EQ(lines, (std::vector<std::string>{first, second, "end"}));
}

TEST_F(LineReaderTest, MissingFilesAndDirectoriesDoNotOpenAndNothingIsCreated) {
  const std::string missing = dir.path() + "/nope.lng";
  EXPECT_FALSE(LineReader::open_for_reading(missing));
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(LineReader::open_for_reading(dir.path()));
}

}  // namespace
}  // namespace tornello
