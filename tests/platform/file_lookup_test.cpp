#include "platform/file_lookup.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tornello {
namespace {

TEST(FileLookup, FindsEverySpellingOfOneTreeAndPrefersTheExactOne) {
  TempDir dir;
  const std::string root = dir.path() + "/";
  const std::string hit = dir.write("Sounds/Pong/Hit.wav", "x");
  const std::string menu = dir.write("Menu/EN/main.mnu", "z");
  const std::string upper = dir.write("a/Name.txt", "1");
  const std::string lower = dir.write("a/name.txt", "2");
  FileLookup files;
  for (const char* spelling :
       {"Sounds/Pong/Hit.wav", "sounds/pong/hit.wav", "SOUNDS\\PONG\\HIT.WAV"}) {
    EXPECT_EQ(files.resolve(root + spelling), hit) << spelling;
  }
  EXPECT_EQ(files.resolve(root + "Menu\\EN\\main.mnu"), menu);
  EXPECT_EQ(files.resolve(root + "menu//en/./MAIN.MNU"), root + "Menu/EN/./main.mnu");
  EXPECT_EQ(files.resolve(root + "a/Name.txt"), upper);
  EXPECT_EQ(files.resolve(root + "a/name.txt"), lower);
  for (const char* missing : {"Sounds/Pong/Miss.wav", "Sounds/Pong/Hit.wav/more"}) {
    EXPECT_FALSE(files.resolve(root + missing)) << missing;
  }
  EXPECT_FALSE(files.resolve(""));
  // Listings are cached until cleared.
  dir.write("Sounds/Pong/border.wav", "y");
  EXPECT_FALSE(files.resolve(root + "sounds/pong/border.wav"));
  files.clear();
  EXPECT_TRUE(files.resolve(root + "sounds/pong/border.wav"));
}

}  // namespace
}  // namespace tornello
