#pragma once

// The PNG and JPEG writers of the image renderer. Their settings are fixed:
//   PNG:  truecolour RGB, 8 bits a sample, no alpha, no transparency chunk,
//         not interlaced, deflate level 7, the Sub filter on every row, image
//         data in IDAT chunks of at most 65535 bytes;
//   JPEG: baseline (not progressive), quality 90, 24-bit colour.
// Both read 32-bit premultiplied pixels row by row and flatten them onto
// white, so no 24-bit copy of a picture is ever held. An encoder keeps its row
// memory for the next picture. One encoder object is used by one thread at a
// time; a PNG and a JPEG encoder may work on the same pixels at once.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "richtext/picture_decoder.h"

namespace tagsmith {

// A picture file that could not be written; the message names the file.
class EImageEncoder : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr int kPngCompressionLevel = 7;
inline constexpr size_t kPngMaxIdatBytes = 65535;
inline constexpr int kJpegQuality = 90;

// One row of premultiplied pixels as RGB bytes flattened onto white.
void PremultipliedToRgb(const uint32_t* pixels, int32_t width, uint8_t* rgb);

class TPngEncoder {
 public:
  // Writes the picture to `path`, replacing any file there. Throws
  // EImageEncoder when the file can not be created or written, or the
  // picture has no pixels.
  void SaveToFile(const PixelView& picture, const std::string& path);

 private:
  std::vector<uint8_t> row_;
  std::vector<uint8_t> filtered_;
  std::vector<uint8_t> chunk_;
};

class TJpegEncoder {
 public:
  // As TPngEncoder::SaveToFile.
  void SaveToFile(const PixelView& picture, const std::string& path);

 private:
  std::vector<uint8_t> row_;
};

}  // namespace tagsmith
