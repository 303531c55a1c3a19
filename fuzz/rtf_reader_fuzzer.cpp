// libFuzzer target for the RTF reader (and the writer behind it): make fuzz.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "richtext/rtf_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem =
      tagsmith::testing::CheckRtfInput(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "rtf_reader_fuzzer: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
