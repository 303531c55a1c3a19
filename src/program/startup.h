#pragma once

// The decisions of the program's start-up, apart from Qt, so that they are
// tested as they are made.

#include <string>
#include <vector>

namespace tagsmith {

// The command-line arguments after the program's own name.
std::vector<std::string> ProgramArguments(int argc, const char* const* argv);

// Whether one of the arguments is exactly "/show" (letter case and the slash
// count: "/SHOW" and "-show" do not open the editor).
bool HasShowArgument(const std::vector<std::string>& arguments);

// How the settings store was opened at start.
struct TStoreOpening {
  // The registry file the store uses; ":memory:" when the user's file could
  // not be used and the program runs on a store that ends with it.
  std::string registryFile;
  // Why the user's file could not be used (shown once); empty when it could.
  std::string problem;
};

// InitGlobalShare over the user's registry file at `modulePath`; when that
// file cannot be opened (an unreadable or damaged file, a folder that cannot
// be made) the file is left exactly as it is and the program runs on a store
// in memory, so that it still starts and the user learns why nothing is kept.
TStoreOpening OpenSettingsStore(const std::string& modulePath);

}  // namespace tagsmith
