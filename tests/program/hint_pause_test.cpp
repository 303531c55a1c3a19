// The hint pause: a widget's hint is shown by the application's filter for
// the fixed time; widgets without a hint of their own keep Qt's handling.

#include "program/hint_pause.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace tagsmith {
namespace {

TEST(HintPause, ShowsAWidgetsHintAndLeavesOthersToQt) {
  THintPause pause;
  EXPECT_EQ(pause.PauseMs(), 10000);
  qApp->installEventFilter(&pause);
  QWidget hinted;
  hinted.setToolTip("Select font size");
  hinted.show();
  QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), hinted.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&hinted, &event);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), "Select font size");
  QToolTip::hideText();

  QWidget plain;
  plain.show();
  QHelpEvent other(QEvent::ToolTip, QPoint(5, 5), plain.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&plain, &other);
  EXPECT_FALSE(other.isAccepted()) << "a widget without a hint ignores the event as Qt does";
  qApp->removeEventFilter(&pause);
}

}  // namespace
}  // namespace tagsmith
