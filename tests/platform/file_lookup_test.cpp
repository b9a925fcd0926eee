#include "platform/file_lookup.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tornello {
namespace {

TEST(FileLookup, FindsEverySpellingOfOneTree) {
  TempDir dir;
  const std::string hit = dir.write("Sounds/Pong/Hit.wav", "x");
  const std::string border = dir.write("Sounds/Pong/border.wav", "y");
  const std::string menu = dir.write("Menu/EN/main.mnu", "z");
  FileLookup files;
  const std::string root = dir.path() + "/";
  EXPECT_EQ(files.resolve(root + "Sounds/Pong/Hit.wav"), hit);
  EXPECT_EQ(files.resolve(root + "sounds/pong/hit.wav"), hit);
  EXPECT_EQ(files.resolve(root + "SOUNDS\\PONG\\HIT.WAV"), hit);
  EXPECT_EQ(files.resolve(root + "sounds/pong/border.wav"), border);
  EXPECT_EQ(files.resolve(root + "Menu\\EN\\main.mnu"), menu);
  EXPECT_EQ(files.resolve(root + "menu//en/./MAIN.MNU"), dir.path() + "/Menu/EN/./main.mnu");
  EXPECT_FALSE(files.resolve(root + "Sounds/Pong/Miss.wav"));
  EXPECT_FALSE(files.resolve(root + "Sounds/Pong/Hit.wav/more"));
  EXPECT_FALSE(files.resolve(""));
}

TEST(FileLookup, PrefersTheExactSpellingWhenTwoDifferOnlyInCase) {
  TempDir dir;
  const std::string upper = dir.write("a/Name.txt", "1");
  const std::string lower = dir.write("a/name.txt", "2");
  FileLookup files;
  EXPECT_EQ(files.resolve(dir.path() + "/a/Name.txt"), upper);
  EXPECT_EQ(files.resolve(dir.path() + "/a/name.txt"), lower);
}

TEST(FileLookup, ListingsAreCachedUntilCleared) {
  TempDir dir;
  dir.write("d/one.wav", "1");
  FileLookup files;
  ASSERT_TRUE(files.resolve(dir.path() + "/D/ONE.wav"));
  dir.write("d/two.wav", "2");
  EXPECT_FALSE(files.resolve(dir.path() + "/D/TWO.wav")) << "the listing of d was cached";
  files.clear();
  EXPECT_TRUE(files.resolve(dir.path() + "/D/TWO.wav"));
}

}  // namespace
}  // namespace tornello
