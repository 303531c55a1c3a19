// libFuzzer target for picture decoding and drawing, every format the
// decoder takes, WMF played at a small size: make fuzz.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "richtext/picture_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem =
      tagsmith::testing::CheckPictureInput(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "picture_decoder_fuzzer: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
