#pragma once

#include <cstdint>
#include <memory>

#include "richtext/embedded_object.h"
#include "richtext/tom.h"

namespace tagsmith {

inline constexpr uint32_t REO_GETOBJ_NO_INTERFACES = 0;
inline constexpr uint32_t REO_GETOBJ_POLEOBJ = 1;

// The descriptor of one embedded object. The caller sets `cbStruct` to the
// descriptor's size before asking for an object.
struct REOBJECT {
  uint32_t cbStruct = 0;
  int32_t cp = 0;                        // character position
  std::shared_ptr<IOleObject> poleobj;   // set when REO_GETOBJ_POLEOBJ is asked
  SIZEL sizel;                           // extent in HIMETRIC
  uint32_t dvaspect = 0;
  uint32_t dwFlags = 0;
  uint32_t dwUser = 0;
};

// The embedded objects of a document, in document order.
class IRichEditOle {
 public:
  virtual ~IRichEditOle() = default;
  virtual TomStatus GetObjectCount(int32_t* count) = 0;
  // Fails for an index out of range or a descriptor whose cbStruct is wrong.
  virtual TomStatus GetObject(int32_t index, REOBJECT* object, uint32_t flags) = 0;
};

}  // namespace tagsmith
