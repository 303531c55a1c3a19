#pragma once

// Little-endian integers appended to byte strings, for the files tests build
// by hand (pictures, archives).

#include <cstdint>
#include <string>

namespace tagsmith::testing {

inline void PutU16(std::string& s, uint32_t v) {
  s += char(v & 255);
  s += char((v >> 8) & 255);
}
inline void PutU32(std::string& s, uint32_t v) {
  PutU16(s, v & 0xFFFF);
  PutU16(s, v >> 16);
}

}  // namespace tagsmith::testing
