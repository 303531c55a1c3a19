#pragma once

// Reading written picture files back at the byte level: the chunks of a PNG
// with its inflated image data, and the markers of a JPEG.

#include <cstdint>
#include <string>
#include <vector>

#include <zlib.h>

namespace tagsmith::testing {

struct PngChunk {
  std::string type;
  std::string data;
};

inline uint32_t BigEndian32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
         uint8_t(s[at + 3]);
}

// The chunks in file order; empty when the signature is wrong or a chunk
// runs past the end.
inline std::vector<PngChunk> ReadPngChunks(const std::string& png) {
  std::vector<PngChunk> chunks;
  if (png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0) return chunks;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = BigEndian32(png, at);
    if (at + 12 + length > png.size()) return {};
    chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

inline std::string Inflate(const std::string& deflated) {
  z_stream z{};
  inflateInit(&z);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  z.avail_in = uInt(deflated.size());
  std::string out;
  char buffer[65536];
  int result;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  } while (result == Z_OK);
  inflateEnd(&z);
  return out;
}

// The JPEG markers up to the start of scan (SOI, APPn, DQT, SOFn, DHT, SOS).
inline std::vector<uint8_t> ReadJpegMarkers(const std::string& jpeg) {
  std::vector<uint8_t> markers;
  size_t at = 0;
  while (at + 4 <= jpeg.size() && uint8_t(jpeg[at]) == 0xFF) {
    const uint8_t marker = uint8_t(jpeg[at + 1]);
    markers.push_back(marker);
    if (marker == 0xD8) {
      at += 2;
      continue;
    }
    if (marker == 0xDA) break;
    at += 2 + (size_t(uint8_t(jpeg[at + 2])) << 8 | uint8_t(jpeg[at + 3]));
  }
  return markers;
}

}  // namespace tagsmith::testing
