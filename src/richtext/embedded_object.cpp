#include "richtext/embedded_object.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>

#include "richtext/picture_decoder.h"

namespace tagsmith {

namespace {

constexpr int64_t kMaxExtent = 1000000;  // HIMETRIC: 10 m, far beyond any page

// a * b / c rounded to the nearest integer, halves away from zero; c > 0.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c) {
  const int64_t n = a * b;
  return n >= 0 ? (n + c / 2) / c : -((-n + c / 2) / c);
}

int32_t ClampExtent(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, kMaxExtent)); }

// Twips at a scale in percent to HIMETRIC: 1440 twips = 2540 HIMETRIC.
int32_t TwipsToHimetric(int32_t twips, int32_t scale) {
  return ClampExtent(MulDivRound(static_cast<int64_t>(twips) * 127, scale, 7200));
}

bool IsMetafile(PictureFormat f) {
  return f == PictureFormat::kWmf || f == PictureFormat::kEmf || f == PictureFormat::kOs2Metafile ||
         f == PictureFormat::kMacPict;
}

uint32_t Be16(const std::string& b, size_t i) {
  return (static_cast<uint8_t>(b[i]) << 8) | static_cast<uint8_t>(b[i + 1]);
}
uint32_t Le16(const std::string& b, size_t i) {
  return static_cast<uint8_t>(b[i]) | (static_cast<uint8_t>(b[i + 1]) << 8);
}
uint32_t Be32(const std::string& b, size_t i) { return (Be16(b, i) << 16) | Be16(b, i + 2); }
uint32_t Le32(const std::string& b, size_t i) { return Le16(b, i) | (Le16(b, i + 2) << 16); }

// The pixel size written in a bitmap's own header, for pictures stored
// without \picw and \pich; false when the header does not give it.
bool HeaderPixelSize(const PictureData& p, int64_t* width, int64_t* height) {
  const std::string& b = p.bytes;
  switch (p.format) {
    case PictureFormat::kPng:
      if (b.size() < 24 || b.compare(12, 4, "IHDR") != 0) return false;
      *width = Be32(b, 16);
      *height = Be32(b, 20);
      return true;
    case PictureFormat::kGif:
      if (b.size() < 10) return false;
      *width = Le16(b, 6);
      *height = Le16(b, 8);
      return true;
    case PictureFormat::kJpeg:
      for (size_t i = 2; i + 9 < b.size();) {
        if (static_cast<uint8_t>(b[i]) != 0xFF) return false;
        const uint8_t marker = static_cast<uint8_t>(b[i + 1]);
        if (marker == 0xFF) {
          ++i;  // fill byte
          continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {
          i += 2;  // markers without a segment
          continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
          *height = Be16(b, i + 5);
          *width = Be16(b, i + 7);
          return true;
        }
        i += 2 + Be16(b, i + 2);
      }
      return false;
    case PictureFormat::kDib:
      if (b.size() >= 16 && Le32(b, 0) >= 40) {
        *width = static_cast<int32_t>(Le32(b, 4));
        *height = std::abs(static_cast<int64_t>(static_cast<int32_t>(Le32(b, 8))));
        return true;
      }
      if (b.size() >= 8 && Le32(b, 0) == 12) {
        *width = Le16(b, 4);
        *height = Le16(b, 6);
        return true;
      }
      return false;
    default:
      return false;
  }
}

int32_t PictureSide(const PictureData& p, int32_t goal, int32_t natural, int32_t scale, bool horizontal) {
  if (goal > 0) return TwipsToHimetric(goal, scale);
  if (natural <= 0) {
    int64_t w = 0, h = 0;
    if (!HeaderPixelSize(p, &w, &h)) return 0;
    return ClampExtent(MulDivRound(std::max<int64_t>(horizontal ? w : h, 0) * 2540, scale, 9600));
  }
  if (IsMetafile(p.format)) return ClampExtent(MulDivRound(natural, scale, 100));
  return ClampExtent(MulDivRound(static_cast<int64_t>(natural) * 2540, scale, 9600));
}

}  // namespace

TomStatus ProgIDFromCLSID(const CLSID& clsid, std::string* progId) {
  if (!progId) return TomStatus::Fail("Invalid pointer: progId");
  if (clsid.progId.empty()) return TomStatus::Fail("Class not registered");
  *progId = clsid.progId;
  return TomStatus::Ok();
}

SIZEL PictureData::Extent() const {
  return SIZEL{PictureSide(*this, goalWidth, width, scaleX, true), PictureSide(*this, goalHeight, height, scaleY, false)};
}

SIZEL StoredObjectData::Extent() const {
  if (ole && (ole->width > 0 || ole->height > 0))
    return SIZEL{TwipsToHimetric(ole->width, ole->scaleX), TwipsToHimetric(ole->height, ole->scaleY)};
  if (picture) return picture->Extent();
  return SIZEL{};
}

std::string PictureClassName(PictureFormat format) {
  switch (format) {
    case PictureFormat::kPng: return "Picture.PNG";
    case PictureFormat::kJpeg: return "Picture.JPEG";
    case PictureFormat::kGif: return "Picture.GIF";
    case PictureFormat::kEmf: return "Picture.EMF";
    case PictureFormat::kWmf: return "Picture.WMF";
    case PictureFormat::kDib:
    case PictureFormat::kDdb: return "Picture.BMP";
    case PictureFormat::kMacPict: return "Picture.PICT";
    case PictureFormat::kOs2Metafile: return "Picture.OS2Metafile";
    case PictureFormat::kUnknown: break;
  }
  return std::string();
}

StoredObject::StoredObject(std::shared_ptr<const StoredObjectData> data) : data_(std::move(data)) {}

TomStatus StoredObject::GetExtent(uint32_t aspect, SIZEL* size) {
  if (!size) return TomStatus::Fail("Invalid pointer: size");
  if (aspect != DVASPECT_CONTENT) return TomStatus::Fail("Unsupported aspect");
  *size = data_->Extent();
  return TomStatus::Ok();
}

TomStatus StoredObject::QueryViewObject(std::shared_ptr<IViewObject>* view) {
  if (!view) return TomStatus::Fail("Invalid pointer: view");
  *view = shared_from_this();
  return TomStatus::Ok();
}

TomStatus StoredObject::GetStoredData(std::shared_ptr<const StoredObjectData>* data) {
  if (!data) return TomStatus::Fail("Invalid pointer: data");
  *data = data_;
  return TomStatus::Ok();
}

TomStatus StoredObject::Draw(uint32_t aspect, int32_t, Canvas& canvas, const RECTL& bounds) {
  if (aspect != DVASPECT_CONTENT) return TomStatus::Fail("Unsupported aspect");
  if (!data_->picture) return TomStatus::Ok();  // an OLE object without a result shows nothing
  const PictureData& picture = *data_->picture;
  try {
    DrawPicture(picture.format, picture.bytes, canvas, bounds);
  } catch (const std::bad_alloc&) {
    return TomStatus::Fail("Not enough memory to draw the picture");
  } catch (const std::exception& e) {
    return TomStatus::Fail(e.what());
  }
  return TomStatus::Ok();
}

PictureObject::PictureObject(PictureData picture)
    : StoredObject(std::make_shared<const StoredObjectData>(StoredObjectData{std::nullopt, std::move(picture)})) {}

TomStatus PictureObject::GetUserClassID(CLSID* clsid) {
  if (!clsid) return TomStatus::Fail("Invalid pointer: clsid");
  std::string name = PictureClassName(data_->picture->format);
  if (name.empty()) return TomStatus::Fail("Object has no class");
  clsid->progId = std::move(name);
  return TomStatus::Ok();
}

EmbeddedOleObject::EmbeddedOleObject(OleData ole, std::optional<PictureData> result)
    : StoredObject(std::make_shared<const StoredObjectData>(StoredObjectData{std::move(ole), std::move(result)})) {}

TomStatus EmbeddedOleObject::GetUserClassID(CLSID* clsid) {
  if (!clsid) return TomStatus::Fail("Invalid pointer: clsid");
  if (data_->ole->className.empty()) return TomStatus::Fail("Object has no class");
  clsid->progId = data_->ole->className;
  return TomStatus::Ok();
}

}  // namespace tagsmith
