#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;
using Places = std::vector<fs::path>;

// The places a build, an unpacked zip and an install put the data, tried in
// order; each one, from the last to the first, wins once it holds lang/.
TEST(DataFolder, FirstPlaceHoldingLangWinsAndANamedFolderIsTheOnlyOne) {
  TempDir dir;
  const fs::path root = dir.path();
  const fs::path program = root / "usr/games/tornello";
  const Places places = data_folder_candidates(std::nullopt, root / "home", program);
  ASSERT_EQ(places, (Places{root / "home", root / "usr/games", root / "usr/games/data",
                            root / "usr/data", root / "usr/share/games/tornello"}));
  dir.write("home/lang", "a file, not a folder");
  EXPECT_EQ(first_data_folder(places), std::nullopt);
  fs::remove(root / "home/lang");
  for (auto place = places.rbegin(); place != places.rend(); ++place) {
    fs::create_directories(*place / "lang");
    EXPECT_EQ(first_data_folder(places), *place);
  }

  EXPECT_EQ(data_folder_candidates("my data", root / "home", program), Places{"my data"});
  EXPECT_EQ(data_folder_candidates(std::nullopt, root / "home", std::nullopt),
            Places{root / "home"});
  // Started in the program's own folder: that folder is tried once.
  EXPECT_EQ(data_folder_candidates(std::nullopt, root / "usr/games", program).size(), 4u);
}

}  // namespace
}  // namespace tornello
