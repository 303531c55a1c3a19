#pragma once

// Embedded objects: pictures and OLE objects that sit in a document as one
// character. An object reports its class, its extent in HIMETRIC (0.01 mm)
// and draws itself into a 32-bit canvas.

#include <cstdint>
#include <memory>
#include <string>

#include "richtext/tom.h"

namespace tagsmith {

struct SIZEL {
  int32_t cx = 0;
  int32_t cy = 0;
  bool operator==(const SIZEL&) const = default;
};

struct RECTL {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const RECTL&) const = default;
};

inline constexpr uint32_t DVASPECT_CONTENT = 1;

// A class identifier. On this platform a class is known by its programmatic
// identifier ("Paint.Picture", "Equation.3", "Word.Document.8").
struct CLSID {
  std::string progId;
  bool operator==(const CLSID&) const = default;
};

// The programmatic identifier of a class; fails for a class without one.
TomStatus ProgIDFromCLSID(const CLSID& clsid, std::string* progId);

// A 32-bit drawing surface: premultiplied ARGB, one uint32_t per pixel
// (0xAARRGGBB), rows `stride` pixels apart. The canvas does not own the pixels.
struct Canvas {
  uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
};

class IViewObject {
 public:
  virtual ~IViewObject() = default;
  // Draws the object's `aspect` scaled into `bounds` of the canvas; pixels
  // outside the canvas are clipped.
  virtual TomStatus Draw(uint32_t aspect, int32_t index, Canvas& canvas, const RECTL& bounds) = 0;
};

class IOleObject {
 public:
  virtual ~IOleObject() = default;
  // Fails for an object that has no class.
  virtual TomStatus GetUserClassID(CLSID* clsid) = 0;
  virtual TomStatus GetExtent(uint32_t aspect, SIZEL* size) = 0;
  // The object's drawing interface.
  virtual TomStatus QueryViewObject(std::shared_ptr<IViewObject>* view) = 0;
};

}  // namespace tagsmith
