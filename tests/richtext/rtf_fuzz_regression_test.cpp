// Inputs the RTF fuzzer once found failing, replayed with its checks.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "richtext/rtf_fuzz_check.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {
namespace {

TEST(RtfFuzzRegressions, EveryFoundInputReadsAndRoundTrips) {
  const std::filesystem::path folder = std::filesystem::path(TAGSMITH_SOURCE_DIR) / "tests/richtext/fuzz_regressions";
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty());
  for (const auto& path : inputs) EXPECT_EQ(CheckRtfInput(ReadFile(path)), "") << path.filename();
}

}  // namespace
}  // namespace tagsmith::testing
