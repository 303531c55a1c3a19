// Inputs the storage fuzzer once found failing, and its seeds, replayed with
// its checks.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/temp_dir.h"
#include "updates/storage_fuzz_check.h"

namespace tagsmith::testing {
namespace {

TEST(StorageFuzzRegressions, EveryFoundInputEndsInAClearAnswer) {
  const std::filesystem::path root(TAGSMITH_SOURCE_DIR);
  std::vector<std::filesystem::path> inputs;
  for (const auto& folder : {root / "tests/updates/fuzz_regressions", root / "fuzz/seeds/banner_storage"})
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty());
  for (const auto& path : inputs) EXPECT_EQ(CheckStorageInput(ReadFile(path)), "") << path.filename();
}

}  // namespace
}  // namespace tagsmith::testing
