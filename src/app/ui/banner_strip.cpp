#include "app/ui/banner_strip.h"

#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "app/ui/application_errors.h"

namespace tagsmith {

TBannerStrip::TBannerStrip(QLabel& label) : QObject(&label), label_(&label) {
  label.setAlignment(Qt::AlignCenter);
  label.setScaledContents(false);
  label.setCursor(Qt::PointingHandCursor);
  label.installEventFilter(this);
}

void TBannerStrip::ShowPicture(const DecodedPicture& picture) {
  if (!label_) return;
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() != size_t(picture.width) * size_t(picture.height)) {
    label_->clear();
    return;
  }
  // The pixels are premultiplied 0xAARRGGBB, which is this format's layout;
  // copy() detaches the image from the picture's buffer.
  const QImage image(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width, picture.height,
                     picture.width * 4, QImage::Format_ARGB32_Premultiplied);
  label_->setPixmap(QPixmap::fromImage(image.copy()));
}

void TBannerStrip::ClearPicture() {
  if (label_) label_->clear();
}

void TBannerStrip::SetClickHandler(std::function<void()> handler) { click_ = std::move(handler); }

bool TBannerStrip::HasPicture() const { return label_ && !label_->pixmap().isNull(); }

bool TBannerStrip::eventFilter(QObject* watched, QEvent* event) {
  if (!label_ || watched != label_.data()) return false;
  if (event->type() == QEvent::MouseButtonPress) {
    pressed_ = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  } else if (event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool click = pressed_ && mouse->button() == Qt::LeftButton && label_->rect().contains(mouse->position().toPoint());
    pressed_ = false;
    if (click && click_) {
      // A copy: the handler may replace itself while it runs.
      const std::function<void()> handler = click_;
      RunGuarded(label_->window(), handler);
    }
  }
  return false;
}

}  // namespace tagsmith
