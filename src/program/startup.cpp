#include "program/startup.h"

#include <exception>

#include "app/global_share.h"

namespace tagsmith {

std::vector<std::string> ProgramArguments(int argc, const char* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i)
    if (argv[i]) arguments.emplace_back(argv[i]);
  return arguments;
}

bool HasShowArgument(const std::vector<std::string>& arguments) {
  for (const std::string& a : arguments)
    if (a == "/show") return true;
  return false;
}

TStoreOpening OpenSettingsStore(const std::string& modulePath) {
  TStoreOpening opening;
  try {
    opening.registryFile = Registry::DefaultFileName();
    InitGlobalShare(modulePath, opening.registryFile);
    return opening;
  } catch (const std::exception& e) {
    opening.problem = std::string(e.what()) +
                      "\nTagsmith runs without its saved settings; changes are not kept after it ends.";
  }
  opening.registryFile = ":memory:";
  InitGlobalShare(modulePath, opening.registryFile);
  return opening;
}

}  // namespace tagsmith
