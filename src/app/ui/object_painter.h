#pragma once

// Embedded objects inside a QTextDocument: the table of the objects a
// document holds, and the text-object handler that lays them out at their
// extent and draws them through their own drawing (IViewObject::Draw, the
// drawing the image renderer uses).
//
// An object sits in the document as one U+FFFC character whose character
// format has the object type kEmbeddedObjectType and carries the object's id
// in the table and its extent; copies of the character (undo, redo, copies
// inside the document) keep pointing at the same object. Main thread only.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QTextFormat>
#include <QTextObjectInterface>

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "richtext/embedded_object.h"

namespace tagsmith {

inline constexpr int kEmbeddedObjectType = QTextFormat::UserObject + 1;

// Properties of the character formats of this system's documents.
enum QtFormatProperty : int {
  kPropObjectId = QTextFormat::UserProperty + 0x100,  // qulonglong: the object's id in its table
  kPropExtentX,                                       // int: the object's extent in HIMETRIC
  kPropExtentY,
  kPropUnderlineKind,  // int: the tom underline kind, where Qt draws only its nearest style
  kPropNoFontName,     // bool: a run without a font name, which Qt would give the default one
};

// The objects of one document by id. Ids are unique in the process, so
// characters copied between documents never name another object.
class ObjectTable {
 public:
  uint64_t Add(std::shared_ptr<IOleObject> object);
  // Makes `object` known under `id` (an object coming from another document).
  void Adopt(uint64_t id, std::shared_ptr<IOleObject> object);
  std::shared_ptr<IOleObject> Find(uint64_t id) const;
  // Forgets every object whose id is not in `live`.
  void Prune(const std::unordered_set<uint64_t>& live);
  size_t Size() const { return objects_.size(); }

 private:
  std::unordered_map<uint64_t, std::shared_ptr<IOleObject>> objects_;
};

// The object drawn into a white picture of `pixels`, as the image renderer
// draws it; `drew` is set false when the drawing failed or showed nothing.
// An empty size gives a null image.
QImage RenderObjectImage(IOleObject& object, QSize pixels, bool* drew = nullptr);

// The size in pixels of an extent in HIMETRIC at `dpi` dots per inch.
QSize ExtentPixels(SIZEL extent, double dpiX, double dpiY);

// The text-object handler of kEmbeddedObjectType. Pictures drawn are kept
// (by object and size, up to a budget), so repainting costs no decoding.
class ObjectPainter : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

 public:
  explicit ObjectPainter(std::shared_ptr<ObjectTable> table, QObject* parent = nullptr);

  QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                  const QTextFormat& format) override;

 private:
  struct Drawn {
    uint64_t id;
    QSize size;
    QImage image;
    bool drew;
  };
  const Drawn& Picture(uint64_t id, IOleObject& object, QSize pixels);

  std::shared_ptr<ObjectTable> table_;
  std::list<Drawn> drawn_;  // most recent first
  int64_t drawnBytes_ = 0;
};

}  // namespace tagsmith
