#pragma once

// The editor window's banner strip as the banner component sees it: a label
// that shows each picture centred and unscaled, and hands a left click on it
// to the component (which opens the picture's link).

#include <QObject>
#include <QPointer>

#include <functional>

#include "updates/banner_storages.h"

class QLabel;

namespace tagsmith {

class TBannerStrip : public QObject, public IBanner {
  Q_OBJECT

 public:
  // `label` is the strip; the object is its child and goes with it.
  explicit TBannerStrip(QLabel& label);

  void ShowPicture(const DecodedPicture& picture) override;
  void ClearPicture() override;
  void SetClickHandler(std::function<void()> handler) override;

  // Whether a picture is shown now.
  bool HasPicture() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QLabel> label_;
  std::function<void()> click_;
  bool pressed_ = false;
};

}  // namespace tagsmith
