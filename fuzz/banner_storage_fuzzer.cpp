// libFuzzer target for the ZIP reader and the banner storage list (make fuzz).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "updates/storage_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem =
      tagsmith::testing::CheckStorageInput(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "banner_storage_fuzzer: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
