// libFuzzer target for the update file reader (make fuzz).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "updates/update_file_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem =
      tagsmith::testing::CheckUpdateFileInput(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "update_file_fuzzer: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
