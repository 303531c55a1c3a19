#include <gtest/gtest.h>

#include <chrono>

#include "app/global_share.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::TempHome;

// Two processes open the same new settings file at once and write thousands
// of values each while reading the other's: none is lost, both see the other.
TEST(SettingsProcesses, TwoWritersLoseNothingAndSeeEachOther) {
  TempHome home;
  constexpr int kCount = 2000;  // two writes per step: 4000 writes per process
  const auto start = std::chrono::steady_clock::now();
  const pid_t a = testing::StartProcess(SETTINGS_WRITER, {"A", "B", std::to_string(kCount)}, home / "a.out",
                                        home / "a.err");
  const pid_t b = testing::StartProcess(SETTINGS_WRITER, {"B", "A", std::to_string(kCount)}, home / "b.out",
                                        home / "b.err");
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(testing::WaitProcess(a), 0) << testing::ReadFile(home / "a.err");
  EXPECT_EQ(testing::WaitProcess(b), 0) << testing::ReadFile(home / "b.err");
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  RecordProperty("milliseconds", static_cast<int>(ms.count()));
  RecordProperty("progressChangesSeenByA", testing::ReadFile(home / "a.out"));
  RecordProperty("progressChangesSeenByB", testing::ReadFile(home / "b.out"));

  Registry registry(Registry::DefaultFileName());
  SettingsStore store(registry);
  for (const char* id : {"A", "B"}) {
    const auto values = registry.ReadKey(RegistryHive::CurrentUser, std::string(settings::kRoot) + "\\Stress\\" + id);
    ASSERT_TRUE(values) << id;
    EXPECT_EQ(values->size(), static_cast<size_t>(kCount)) << id;
    for (int i = 0; i < kCount; ++i)
      ASSERT_EQ(store.ReadInteger(std::string("Stress\\") + id + "\\v" + std::to_string(i), -1), i) << id << i;
    EXPECT_EQ(store.ReadInteger(std::string("Stress\\Progress") + id, -1), kCount - 1);
  }
}

}  // namespace
}  // namespace tagsmith
