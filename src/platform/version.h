#pragma once

#include <compare>
#include <cstdint>

namespace tagsmith {

// A program version, most significant part first. A part of -1 means the
// version is missing. Versions compare part by part from Ver1 to Ver4; the
// first unequal part decides.
struct TVer {
  int32_t Ver1 = -1;
  int32_t Ver2 = -1;
  int32_t Ver3 = -1;
  int32_t Ver4 = -1;

  bool IsMissing() const { return Ver1 == -1 || Ver2 == -1 || Ver3 == -1 || Ver4 == -1; }
  auto operator<=>(const TVer&) const = default;
};

// The version of this build of the program, as the About box shows it.
inline constexpr TVer kProgramVersion{1, 1, 0, 0};

}  // namespace tagsmith
