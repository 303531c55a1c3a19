#pragma once

// The image list that receives one thumbnail per embedded object. The
// convert dialog plugs in its Qt image list; TThumbnailList keeps the
// thumbnails in memory (the command-line converter, tests).

#include <cstdint>
#include <vector>

#include "richtext/picture_decoder.h"

namespace tagsmith {

// Main thread only.
class IThumbnailList {
 public:
  virtual ~IThumbnailList() = default;
  // The cell size every thumbnail has.
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual void Clear() = 0;
  // Appends a copy of `image` (cell-sized, premultiplied ARGB) as the next image.
  virtual void Add(const PixelView& image) = 0;
};

class TThumbnailList : public IThumbnailList {
 public:
  explicit TThumbnailList(int32_t width = 125, int32_t height = 125) : width_(width), height_(height) {}

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  void Clear() override { images_.clear(); }
  void Add(const PixelView& image) override {
    DecodedPicture copy;
    copy.width = image.width;
    copy.height = image.height;
    copy.pixels.resize(size_t(image.width) * size_t(image.height));
    for (int32_t y = 0; y < image.height; ++y)
      for (int32_t x = 0; x < image.width; ++x)
        copy.pixels[size_t(y) * size_t(image.width) + size_t(x)] = image.pixels[size_t(y) * size_t(image.stride) + size_t(x)];
    images_.push_back(std::move(copy));
  }

  const std::vector<DecodedPicture>& Images() const { return images_; }

 private:
  int32_t width_;
  int32_t height_;
  std::vector<DecodedPicture> images_;
};

}  // namespace tagsmith
