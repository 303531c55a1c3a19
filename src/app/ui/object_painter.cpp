#include "app/ui/object_painter.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QScreen>
#include <QTextDocument>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace tagsmith {

namespace {

// Pictures drawn for the screen are kept up to this many bytes.
constexpr int64_t kDrawnBudget = int64_t(96) << 20;
// A picture drawn for the screen holds at most this many pixels; bigger ones
// are drawn smaller and stretched.
constexpr int64_t kScreenPixels = int64_t(16) << 20;
// The side of an object that reports no extent, so it can still be seen and
// selected.
constexpr int kEmptySide = 24;

std::atomic<uint64_t> nextId{1};

void Dpi(QTextDocument* doc, double* x, double* y) {
  QPaintDevice* device = doc && doc->documentLayout() ? doc->documentLayout()->paintDevice() : nullptr;
  if (device) {
    *x = device->logicalDpiX();
    *y = device->logicalDpiY();
    return;
  }
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    *x = screen->logicalDotsPerInchX();
    *y = screen->logicalDotsPerInchY();
    return;
  }
  *x = *y = 96;
}

}  // namespace

uint64_t ObjectTable::Add(std::shared_ptr<IOleObject> object) {
  const uint64_t id = nextId.fetch_add(1);
  objects_.emplace(id, std::move(object));
  return id;
}

void ObjectTable::Adopt(uint64_t id, std::shared_ptr<IOleObject> object) { objects_[id] = std::move(object); }

std::shared_ptr<IOleObject> ObjectTable::Find(uint64_t id) const {
  auto it = objects_.find(id);
  return it == objects_.end() ? nullptr : it->second;
}

void ObjectTable::Prune(const std::unordered_set<uint64_t>& live) {
  for (auto it = objects_.begin(); it != objects_.end();) {
    if (live.count(it->first)) ++it;
    else it = objects_.erase(it);
  }
}

QSize ExtentPixels(SIZEL extent, double dpiX, double dpiY) {
  const auto side = [](int32_t himetric, double dpi) {
    return static_cast<int>(std::lround(std::clamp<double>(himetric, 0, 1000000) * dpi / 2540.0));
  };
  return QSize(side(extent.cx, dpiX), side(extent.cy, dpiY));
}

QImage RenderObjectImage(IOleObject& object, QSize pixels, bool* drew) {
  if (drew) *drew = false;
  if (pixels.isEmpty()) return QImage();
  QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;  // no memory for it
  image.fill(Qt::white);
  std::shared_ptr<IViewObject> view;
  bool ok = object.QueryViewObject(&view).ok() && view;
  if (ok) {
    // QImage's premultiplied ARGB32 is the canvas's own layout: one
    // 0xAARRGGBB word a pixel.
    Canvas canvas{reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                  static_cast<int32_t>(image.bytesPerLine() / 4)};
    try {
      ok = view->Draw(DVASPECT_CONTENT, -1, canvas, RECTL{0, 0, image.width(), image.height()}).ok();
    } catch (...) {
      ok = false;
    }
  }
  if (!ok) {
    image.fill(Qt::white);
    return image;
  }
  if (drew) {
    // A drawing that left every pixel white shows nothing of the object.
    const uint32_t white = 0xFFFFFFFFu;
    bool any = false;
    for (int y = 0; y < image.height() && !any; ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if (row[x] != white) {
          any = true;
          break;
        }
    }
    *drew = any;
  }
  return image;
}

ObjectPainter::ObjectPainter(std::shared_ptr<ObjectTable> table, QObject* parent)
    : QObject(parent), table_(std::move(table)) {}

QSizeF ObjectPainter::intrinsicSize(QTextDocument* doc, int, const QTextFormat& format) {
  SIZEL extent{format.intProperty(kPropExtentX), format.intProperty(kPropExtentY)};
  if (extent.cx <= 0 || extent.cy <= 0) {
    if (auto object = table_->Find(format.property(kPropObjectId).toULongLong())) {
      SIZEL own;
      if (object->GetExtent(DVASPECT_CONTENT, &own).ok() && own.cx > 0 && own.cy > 0) extent = own;
    }
  }
  double dpiX = 96, dpiY = 96;
  Dpi(doc, &dpiX, &dpiY);
  QSize size = ExtentPixels(extent, dpiX, dpiY);
  if (size.width() <= 0 || size.height() <= 0) size = QSize(kEmptySide, kEmptySide);
  return QSizeF(size);
}

const ObjectPainter::Drawn& ObjectPainter::Picture(uint64_t id, IOleObject& object, QSize pixels) {
  for (auto it = drawn_.begin(); it != drawn_.end(); ++it) {
    if (it->id == id && it->size == pixels) {
      drawn_.splice(drawn_.begin(), drawn_, it);
      return drawn_.front();
    }
  }
  QSize render = pixels;
  const int64_t area = int64_t(pixels.width()) * pixels.height();
  if (area > kScreenPixels) {
    const double f = std::sqrt(double(kScreenPixels) / double(area));
    render = QSize(std::max(1, int(pixels.width() * f)), std::max(1, int(pixels.height() * f)));
  }
  bool drew = false;
  QImage image = RenderObjectImage(object, render, &drew);
  drawnBytes_ += image.sizeInBytes();
  drawn_.push_front(Drawn{id, pixels, std::move(image), drew});
  while (drawn_.size() > 1 && drawnBytes_ > kDrawnBudget) {
    drawnBytes_ -= drawn_.back().image.sizeInBytes();
    drawn_.pop_back();
  }
  return drawn_.front();
}

void ObjectPainter::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                               const QTextFormat& format) {
  const uint64_t id = format.property(kPropObjectId).toULongLong();
  auto object = table_->Find(id);
  const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
  const QSize pixels(std::max(1, int(std::lround(rect.width() * ratio))),
                     std::max(1, int(std::lround(rect.height() * ratio))));
  bool drew = false;
  if (object) {
    const Drawn& d = Picture(id, *object, pixels);
    if (!d.image.isNull()) painter->drawImage(rect, d.image);
    drew = d.drew;
  }
  if (!drew) {
    // An object that shows nothing still shows where it is.
    painter->save();
    painter->setPen(QPen(QColor(160, 160, 160), 0, Qt::DashLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    painter->restore();
  }
}

}  // namespace tagsmith
