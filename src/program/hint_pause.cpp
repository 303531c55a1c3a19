#include "program/hint_pause.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace tagsmith {

THintPause::THintPause(int pauseMs, QObject* parent) : QObject(parent), pauseMs_(pauseMs) {}

bool THintPause::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  const QString hint = widget->toolTip();
  if (hint.isEmpty()) return false;
  auto* help = static_cast<QHelpEvent*>(event);
  QToolTip::showText(help->globalPos(), hint, widget, QRect(), pauseMs_);
  return true;
}

}  // namespace tagsmith
