// What the fuzz targets share: a failed check; their data trees are the tests' own
// (fuzz/run puts the temporary folder in memory, where rewrites need no disk).
#pragma once

#include <cstdlib>

#include "support/temp_dir.h"

namespace tornello::fuzz {

// libFuzzer keeps the input that made a check fail.
inline void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace tornello::fuzz
