#include "richtext/embedded_object.h"

namespace tagsmith {

TomStatus ProgIDFromCLSID(const CLSID& clsid, std::string* progId) {
  if (!progId) return TomStatus::Fail("Invalid pointer: progId");
  if (clsid.progId.empty()) return TomStatus::Fail("Class not registered");
  *progId = clsid.progId;
  return TomStatus::Ok();
}

}  // namespace tagsmith
