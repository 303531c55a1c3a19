#pragma once

// What the update-file fuzzer checks on every input, shared with the test
// that replays the inputs it once found failing: the bytes are read as the
// update file, and what comes out must hold together.

#include <string>
#include <string_view>

#include "updates/update_file.h"

namespace tagsmith::testing {

// Returns what went wrong, or an empty string. "Update file parse error!" is
// a fine answer to bad input; any other exception escapes to the fuzzer, and
// crashes, leaks, hangs and runaway memory are for the sanitizers to catch.
inline std::string CheckUpdateFileInput(std::string_view input) {
  TUpdateFile file;
  try {
    file = ParseUpdateFile(input);
  } catch (const EWebUpdaterException& e) {
    return std::string(e.what()) == kUpdateFileParseError ? std::string() : "another message: " + std::string(e.what());
  }
  if (file.UpdateServer.empty()) return "accepted without an UpdateServer";
  if (file.Banners.size() > input.size()) return "more storages than bytes";
  if (file.Langs.empty() && !file.Banners.empty()) return "storages without a list";
  // Every storage carries the data of a list, and lists appear in order.
  size_t list = 0;
  for (const TBannData& b : file.Banners) {
    while (list < file.Langs.size() &&
           (file.Langs[list].Lang != b.Lang || file.Langs[list].VerOldFrom != b.VerOldFrom))
      ++list;
    if (list == file.Langs.size()) return "a storage whose list data matches no later list";
  }
  return std::string();
}

}  // namespace tagsmith::testing
