#pragma once

#include <filesystem>
#include <string>

#include "app/global_share.h"

namespace tagsmith::testing {

// What a data module needs of a program folder `progDir` besides its
// languages, over the open settings store: the shipped banner storages in
// Data/, and an update host where nothing listens, so that its start-up
// check never leaves the machine.
inline void PrepareProgramData(const std::filesystem::path& progDir) {
  namespace fs = std::filesystem;
  fs::create_directories(progDir / "Data");
  for (const char* file : {"storage_en_1.bin", "storage_ru_1.bin"})
    fs::copy_file(fs::path(TAGSMITH_SOURCE_DIR) / "Data" / file, progDir / "Data" / file,
                  fs::copy_options::overwrite_existing);
  GetSettingsStore().Write(settings::kUpdateHost, std::string("127.0.0.1:9"));
}

}  // namespace tagsmith::testing
