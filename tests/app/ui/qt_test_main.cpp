// The main() of the Qt tests: a QApplication on the offscreen platform (also
// when the tests are only being listed, which runs without the test
// environment), in a temporary home, so that fontconfig's cache and Qt's
// settings never touch the real one.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

// fontconfig keeps its configuration and font cache for the life of the
// process and frees them at no point a leak checker sees; Qt's font database
// holds on to what fontconfig returns in the same way. Nothing of this system
// is suppressed.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:FcPatternObjectInsertElt\n";
}

int main(int argc, char** argv) {
  tagsmith::testing::TempHome home;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's runtime folder too, private as Qt wants it.
  const std::filesystem::path runtime = home / "runtime";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  tagsmith::testing::ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.string());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
