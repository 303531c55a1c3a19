// Inputs the picture fuzzer once found failing or taking minutes, replayed
// with its checks.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "richtext/picture_fuzz_check.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {
namespace {

TEST(PictureFuzzRegressions, EveryFoundInputDecodesOrFailsClearly) {
  const std::filesystem::path folder =
      std::filesystem::path(TAGSMITH_SOURCE_DIR) / "tests/richtext/picture_fuzz_regressions";
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty());
  for (const auto& path : inputs) EXPECT_EQ(CheckPictureInput(ReadFile(path)), "") << path.filename();
}

TEST(PictureFuzzRegressions, EverySeedDecodesOrFailsClearly) {
  const std::filesystem::path folder = std::filesystem::path(TAGSMITH_SOURCE_DIR) / "fuzz/seeds/picture_decoder";
  size_t seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    ++seeds;
    EXPECT_EQ(CheckPictureInput(ReadFile(entry.path())), "") << entry.path().filename();
  }
  EXPECT_GT(seeds, 0u);
}

}  // namespace
}  // namespace tagsmith::testing
