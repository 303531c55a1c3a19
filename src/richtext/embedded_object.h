#pragma once

// Embedded objects: pictures and OLE objects that sit in a document as one
// character. An object reports its class, its extent in HIMETRIC (0.01 mm)
// and draws itself into a 32-bit canvas.

#include <cstdint>
#include <memory>
#include <optional>
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

struct StoredObjectData;

class IOleObject {
 public:
  virtual ~IOleObject() = default;
  // Fails for an object that has no class.
  virtual TomStatus GetUserClassID(CLSID* clsid) = 0;
  virtual TomStatus GetExtent(uint32_t aspect, SIZEL* size) = 0;
  // The object's drawing interface.
  virtual TomStatus QueryViewObject(std::shared_ptr<IViewObject>* view) = 0;
  // What the object was read from, for writing it back into a document (the
  // RTF writer). Fails for an object that keeps no stored form, which is what
  // objects of other origins do unless they override this.
  virtual TomStatus GetStoredData(std::shared_ptr<const StoredObjectData>* data) {
    return TomStatus::Fail("Object keeps no stored data");
  }
};

// The formats a picture in a document can be stored in. The RTF reader takes
// the format from the picture's keyword (\pngblip, \wmetafile8, ...), except
// that PNG, JPEG and GIF bytes are known by their signature whatever the
// keyword says (writers do mislabel pictures).
enum class PictureFormat : uint8_t {
  kUnknown,      // no format keyword
  kPng,          // \pngblip
  kJpeg,         // \jpegblip
  kGif,          // only by signature
  kEmf,          // \emfblip: enhanced metafile
  kWmf,          // \wmetafileN: Windows metafile without placeable header
  kDib,          // \dibitmapN: device-independent bitmap, BITMAPINFO first, no file header
  kDdb,          // \wbitmapN: device-dependent bitmap bits
  kMacPict,      // \macpict: QuickDraw picture
  kOs2Metafile,  // \pmmetafileN
};

// A picture as a document stores it: its format, its original bytes and the
// sizes written beside it. This one record is everything needed to decode
// the picture and to write it back.
struct PictureData {
  PictureFormat format = PictureFormat::kUnknown;
  std::string bytes;         // exactly as stored
  int32_t width = 0;         // \picw: pixels for bitmaps, HIMETRIC for metafiles; 0 when not given
  int32_t height = 0;        // \pich
  int32_t goalWidth = 0;     // \picwgoal: the intended width in twips; 0 when not given
  int32_t goalHeight = 0;    // \pichgoal
  int32_t scaleX = 100;      // \picscalex: percent
  int32_t scaleY = 100;      // \picscaley
  int32_t mappingMode = 0;   // the N of \wmetafileN, \pmmetafileN (the metafile's mapping mode)
  int32_t bitsPerPixel = 0;  // \wbmbitspixel, \wbmplanes, \wbmwidthbytes: the layout of a
  int32_t planes = 0;        //   device-dependent bitmap's bits
  int32_t widthBytes = 0;

  // The size the document shows the picture at, in HIMETRIC: the goal size
  // (twips) when given, else \picw/\pich (HIMETRIC for metafiles, pixels at
  // 96 dpi for the others), else the pixel size in a PNG, GIF, JPEG or DIB
  // header at 96 dpi, times the scale; each side 0 to 1000000.
  SIZEL Extent() const;
  bool operator==(const PictureData&) const = default;
};

// How an OLE object sits in the document (\objemb, \objlink, ...).
enum class OleObjectKind : uint8_t {
  kEmbedded,    // \objemb
  kLinked,      // \objlink
  kAutoLinked,  // \objautlink
  kSubscriber,  // \objsub
  kPublisher,   // \objpub
  kIcon,        // \objicemb
  kHtml,        // \objhtml
  kControl,     // \objocx
};

// An OLE object as a document stores it.
struct OleData {
  OleObjectKind kind = OleObjectKind::kEmbedded;
  std::string className;  // \objclass: the ProgID ("Equation.3", "Paint.Picture"); may be empty
  std::string data;       // \objdata: the object's stream, kept as is for writing back
  int32_t width = 0;      // \objw: twips; 0 when not given
  int32_t height = 0;     // \objh
  int32_t scaleX = 100;   // \objscalex: percent
  int32_t scaleY = 100;   // \objscaley
  bool operator==(const OleData&) const = default;
};

// What an embedded object keeps of the document it came from.
struct StoredObjectData {
  std::optional<OleData> ole;          // set for an OLE object, none for a plain picture
  std::optional<PictureData> picture;  // the picture itself, or what the OLE object shows (\result)

  // The object's extent in HIMETRIC: an OLE object's \objw/\objh times its
  // scale when given, else the picture's extent; (0, 0) with neither.
  SIZEL Extent() const;
  bool operator==(const StoredObjectData&) const = default;
};

// An embedded object made from stored data: a picture or an OLE object read
// from a document. It reports the extent of its data and draws its picture
// (an OLE object its \result) scaled into the bounds with the picture
// decoder's DrawPicture. An object without a picture, and a metafile without a
// player here (EMF, PICT, OS/2), draws nothing and succeeds, leaving the canvas
// as it was. Data that can not be drawn (damaged, a device-dependent bitmap,
// an unknown format) fails the draw with the decoder's message. Draw runs on
// the caller's thread.
class StoredObject : public IOleObject,
                     public IViewObject,
                     public std::enable_shared_from_this<StoredObject> {
 public:
  explicit StoredObject(std::shared_ptr<const StoredObjectData> data);

  TomStatus GetExtent(uint32_t aspect, SIZEL* size) override;  // DVASPECT_CONTENT only
  TomStatus QueryViewObject(std::shared_ptr<IViewObject>* view) override;
  TomStatus GetStoredData(std::shared_ptr<const StoredObjectData>* data) override;
  TomStatus Draw(uint32_t aspect, int32_t index, Canvas& canvas, const RECTL& bounds) override;  // DVASPECT_CONTENT only

  const StoredObjectData& data() const { return *data_; }

 protected:
  std::shared_ptr<const StoredObjectData> data_;
};

// A plain picture. Its class is "Picture." followed by its format: "Picture.PNG",
// "Picture.JPEG", "Picture.GIF", "Picture.EMF", "Picture.WMF", "Picture.BMP"
// (device-independent and device-dependent bitmaps), "Picture.PICT",
// "Picture.OS2Metafile"; a picture of unknown format has no class.
class PictureObject : public StoredObject {
 public:
  explicit PictureObject(PictureData picture);
  TomStatus GetUserClassID(CLSID* clsid) override;
};

// An OLE object: its class is its \objclass (none when that is empty); it
// shows its result picture.
class EmbeddedOleObject : public StoredObject {
 public:
  EmbeddedOleObject(OleData ole, std::optional<PictureData> result);
  TomStatus GetUserClassID(CLSID* clsid) override;
};

// The class name of a picture format, empty for kUnknown.
std::string PictureClassName(PictureFormat format);

}  // namespace tagsmith
