// The generated sound tree, shared by every test of this program. It is kept
// beside the test program, so ctest (one process per test) generates it once; a
// rebuilt test program, and with it a changed generator, makes it afresh.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tornello {

struct GeneratedTree {
  std::string data_dir;             // holds Sounds/
  std::string skip_reason;          // set when espeak-ng cannot run
  std::vector<std::string> errors;  // what the generator reported, if it failed
};

const GeneratedTree& generated_tree();

}  // namespace tornello

// Skips the test when espeak-ng is missing and fails it when generation failed.
#define REQUIRE_GENERATED_TREE(tree)                                    \
  const ::tornello::GeneratedTree& tree = ::tornello::generated_tree(); \
  if (!tree.skip_reason.empty()) GTEST_SKIP() << tree.skip_reason;      \
  ASSERT_TRUE(tree.errors.empty()) << tree.errors.front()
