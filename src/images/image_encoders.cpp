#include "images/image_encoders.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "platform/strings.h"

namespace tagsmith {

void PremultipliedToRgb(const uint32_t* pixels, int32_t width, uint8_t* rgb) {
  for (int32_t x = 0; x < width; ++x) {
    const uint32_t p = pixels[x];
    const uint32_t white = 255 - (p >> 24);
    auto ch = [&](int shift) { return uint8_t(std::min<uint32_t>(((p >> shift) & 255) + white, 255)); };
    rgb[0] = ch(16);
    rgb[1] = ch(8);
    rgb[2] = ch(0);
    rgb += 3;
  }
}

namespace {

struct File {
  std::FILE* f = nullptr;
  ~File() {
    if (f) std::fclose(f);
  }
};

std::FILE* CreateFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw EImageEncoder(FormatString("Cannot create file \"%s\". %s", path.c_str(), std::strerror(errno)));
  return f;
}

void CloseFile(File& file, const std::string& path, bool failed) {
  const bool writeError = std::ferror(file.f) != 0;
  const int err = errno;
  const bool closeError = std::fclose(file.f) != 0;
  file.f = nullptr;
  if (!failed && (writeError || closeError))
    throw EImageEncoder(FormatString("Error writing file \"%s\". %s", path.c_str(), std::strerror(err ? err : EIO)));
}

void CheckPicture(const PixelView& picture) {
  if (picture.width <= 0 || picture.height <= 0 || !picture.pixels)
    throw EImageEncoder(FormatString("A picture of %d x %d pixels can not be saved", picture.width, picture.height));
}

// libpng and libjpeg report errors by longjmp. Everything they touch between
// setjmp and the jump lives in one heap block taken before setjmp.
struct PngWrite {
  png_structp png = nullptr;
  png_infop info = nullptr;
  z_stream zstream{};
  bool zstreamOpen = false;
  std::jmp_buf jump;
  char message[256] = "";
  ~PngWrite() {
    if (zstreamOpen) deflateEnd(&zstream);
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
};

void PngError(png_structp png, png_const_charp message) {
  auto* w = static_cast<PngWrite*>(png_get_error_ptr(png));
  std::snprintf(w->message, sizeof w->message, "%s", message);
  std::longjmp(w->jump, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// libpng writes the signature, the header and the end; the image data is
// filtered and deflated here, because libpng drops the Sub filter for images
// one pixel wide and sizes its IDAT chunks by its own buffer.
bool WritePng(PngWrite* w, std::FILE* f, const PixelView& picture, uint8_t* row, uint8_t* filtered,
              uint8_t* chunk) {
  if (setjmp(w->jump)) return false;
  w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, w, PngError, PngWarning);
  if (!w->png) return false;
  w->info = png_create_info_struct(w->png);
  if (!w->info) return false;
  png_init_io(w->png, f);
  png_set_IHDR(w->png, w->info, png_uint_32(picture.width), png_uint_32(picture.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w->png, w->info);

  z_stream& z = w->zstream;
  if (deflateInit2(&z, kPngCompressionLevel, Z_DEFLATED, 15, 8, Z_FILTERED) != Z_OK) {
    std::snprintf(w->message, sizeof w->message, "%s", "zlib could not start");
    return false;
  }
  w->zstreamOpen = true;
  const size_t rowBytes = size_t(picture.width) * 3;
  z.next_out = chunk;
  z.avail_out = uInt(kPngMaxIdatBytes);
  auto flushChunk = [&] {
    const size_t n = kPngMaxIdatBytes - z.avail_out;
    if (n) png_write_chunk(w->png, reinterpret_cast<png_const_bytep>("IDAT"), chunk, n);
    z.next_out = chunk;
    z.avail_out = uInt(kPngMaxIdatBytes);
  };
  for (int32_t y = 0; y <= picture.height; ++y) {
    const bool last = y == picture.height;
    if (!last) {
      PremultipliedToRgb(picture.pixels + size_t(y) * size_t(picture.stride), picture.width, row);
      filtered[0] = 1;  // Sub: each byte minus the same byte of the pixel to its left
      for (size_t i = 0; i < rowBytes; ++i) filtered[1 + i] = uint8_t(row[i] - (i >= 3 ? row[i - 3] : 0));
      z.next_in = filtered;
      z.avail_in = uInt(rowBytes + 1);
    }
    for (;;) {
      const int result = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) {
        std::snprintf(w->message, sizeof w->message, "%s", "compression failed");
        return false;
      }
      if (z.avail_out == 0) {
        flushChunk();
        continue;
      }
      if (last ? result == Z_STREAM_END : z.avail_in == 0) break;
    }
  }
  flushChunk();
  png_write_chunk(w->png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  return true;
}

struct JpegWrite {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = "";
  bool created = false;
  ~JpegWrite() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
};

void JpegError(j_common_ptr cinfo) {
  auto* w = reinterpret_cast<JpegWrite*>(cinfo->client_data);
  (*cinfo->err->format_message)(cinfo, w->message);
  std::longjmp(w->jump, 1);
}

void JpegMessage(j_common_ptr, int) {}

bool WriteJpeg(JpegWrite* w, std::FILE* f, const PixelView& picture, uint8_t* row) {
  if (setjmp(w->jump)) return false;
  w->cinfo.err = jpeg_std_error(&w->pub);
  w->pub.error_exit = JpegError;
  w->pub.emit_message = JpegMessage;
  jpeg_create_compress(&w->cinfo);
  w->cinfo.client_data = w;
  w->created = true;
  jpeg_stdio_dest(&w->cinfo, f);
  w->cinfo.image_width = JDIMENSION(picture.width);
  w->cinfo.image_height = JDIMENSION(picture.height);
  w->cinfo.input_components = 3;
  w->cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&w->cinfo);
  jpeg_set_quality(&w->cinfo, kJpegQuality, TRUE);
  jpeg_start_compress(&w->cinfo, TRUE);
  while (w->cinfo.next_scanline < w->cinfo.image_height) {
    PremultipliedToRgb(picture.pixels + size_t(w->cinfo.next_scanline) * size_t(picture.stride), picture.width, row);
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&w->cinfo, rows, 1);
  }
  jpeg_finish_compress(&w->cinfo);
  return true;
}

}  // namespace

void TPngEncoder::SaveToFile(const PixelView& picture, const std::string& path) {
  CheckPicture(picture);
  row_.resize(size_t(picture.width) * 3);
  filtered_.resize(size_t(picture.width) * 3 + 1);
  chunk_.resize(kPngMaxIdatBytes);
  File file{CreateFile(path)};
  auto w = std::make_unique<PngWrite>();
  const bool ok = WritePng(w.get(), file.f, picture, row_.data(), filtered_.data(), chunk_.data());
  CloseFile(file, path, !ok);
  if (!ok) throw EImageEncoder(FormatString("Error writing file \"%s\". %s", path.c_str(), w->message));
}

void TJpegEncoder::SaveToFile(const PixelView& picture, const std::string& path) {
  CheckPicture(picture);
  row_.resize(size_t(picture.width) * 3);
  File file{CreateFile(path)};
  auto w = std::make_unique<JpegWrite>();
  const bool ok = WriteJpeg(w.get(), file.f, picture, row_.data());
  CloseFile(file, path, !ok);
  if (!ok) throw EImageEncoder(FormatString("Error writing file \"%s\". %s", path.c_str(), w->message));
}

}  // namespace tagsmith
