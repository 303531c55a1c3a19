#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "richtext/embedded_object.h"

namespace tagsmith::testing {

// An embedded object for tests: a class (or none), an extent, and a drawing of
// one solid colour.
class FakeObject : public IOleObject,
                   public IViewObject,
                   public std::enable_shared_from_this<FakeObject> {
 public:
  explicit FakeObject(std::string progId = "Paint.Picture", SIZEL extent = {2540, 2540},
                      uint32_t colour = 0xFF000000u)
      : progId_(std::move(progId)), extent_(extent), colour_(colour) {}

  TomStatus GetUserClassID(CLSID* clsid) override {
    if (progId_.empty()) return TomStatus::Fail("Object has no class");
    clsid->progId = progId_;
    return TomStatus::Ok();
  }
  TomStatus GetExtent(uint32_t, SIZEL* size) override {
    *size = extent_;
    return TomStatus::Ok();
  }
  TomStatus QueryViewObject(std::shared_ptr<IViewObject>* view) override {
    *view = shared_from_this();
    return TomStatus::Ok();
  }
  TomStatus Draw(uint32_t, int32_t, Canvas& canvas, const RECTL& bounds) override {
    ++draws;
    for (int32_t y = std::max(bounds.top, 0); y < std::min(bounds.bottom, canvas.height); ++y)
      for (int32_t x = std::max(bounds.left, 0); x < std::min(bounds.right, canvas.width); ++x)
        canvas.pixels[y * canvas.stride + x] = colour_;
    return TomStatus::Ok();
  }

  int draws = 0;

 private:
  std::string progId_;
  SIZEL extent_;
  uint32_t colour_;
};

}  // namespace tagsmith::testing
