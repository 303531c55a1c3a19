#include "program/tray_icon.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

#include "program/desktop_notification.h"

namespace tagsmith {

namespace {

// The picture of the installed icon (a document page with a tag bracket),
// drawn at one size.
QPixmap DrawProgramIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 64.0;
  p.scale(s, s);
  p.setPen(QPen(QColor(0x2d, 0x4a, 0x7a), 2.5));
  p.setBrush(QColor(0xf4, 0xf7, 0xfc));
  QPainterPath page;
  page.moveTo(12, 4);
  page.lineTo(42, 4);
  page.lineTo(54, 16);
  page.lineTo(54, 60);
  page.lineTo(12, 60);
  page.closeSubpath();
  p.drawPath(page);
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(42, 4), QPointF(42, 16));
  p.drawLine(QPointF(42, 16), QPointF(54, 16));
  p.setPen(QPen(QColor(0xd9, 0x5b, 0x1c), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({QPointF(27, 26), QPointF(19, 37), QPointF(27, 48)}));
  p.drawPolyline(QPolygonF({QPointF(39, 26), QPointF(47, 37), QPointF(39, 48)}));
  p.setPen(QPen(QColor(0x2d, 0x4a, 0x7a), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(36, 24), QPointF(30, 50));
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon = QIcon::fromTheme("tagsmith");
  if (!icon.isNull()) return icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128}) icon.addPixmap(DrawProgramIcon(size));
  return icon;
}

void OpenWindow(QWidget& window) {
  if (window.windowState() & Qt::WindowMinimized)
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window.show();
  window.raise();
  window.activateWindow();
}

TTrayIconMain::TTrayIconMain(QWidget& window, QAction* openEditor, QAction* visitSite, QAction* exit,
                             QObject* parent)
    : QObject(parent), window_(&window), menu_(std::make_unique<QMenu>()), icon_(new QSystemTrayIcon(this)) {
  setObjectName("TrayIconMain");
  menu_->setObjectName("TrayIconMainMenu");
  menu_->addAction(openEditor);
  menu_->addAction(visitSite);
  menu_->addSeparator();
  menu_->addAction(exit);
  icon_->setIcon(ProgramIcon());
  icon_->setToolTip(kDesignHint);
  icon_->setContextMenu(menu_.get());
  connect(icon_, &QSystemTrayIcon::activated, this, &TTrayIconMain::Activate);
}

TTrayIconMain::~TTrayIconMain() {
  icon_->hide();
  icon_->setContextMenu(nullptr);
}

void TTrayIconMain::SetVisible(bool visible) { icon_->setVisible(visible); }

bool TTrayIconMain::IsVisible() const { return icon_->isVisible(); }

QString TTrayIconMain::Hint() const { return icon_->toolTip(); }

void TTrayIconMain::SetHint(const QString& hint) { icon_->setToolTip(hint); }

void TTrayIconMain::Activate(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      ToggleWindow();
      break;
    case QSystemTrayIcon::DoubleClick:
      OpenEditor();
      break;
    default:
      break;  // the context menu opens by itself; a middle click does nothing
  }
}

void TTrayIconMain::ToggleWindow() {
  if (!window_) return;
  if (window_->isVisible() && !(window_->windowState() & Qt::WindowMinimized))
    window_->hide();
  else
    OpenEditor();
}

void TTrayIconMain::OpenEditor() {
  if (!window_) return;
  if (open_)
    open_();
  else
    OpenWindow(*window_);
}

void TTrayIconMain::ShowBalloon(const QString& title, const QString& text, bool error, int timeoutMs) {
  tagsmith::ShowBalloon(icon_, title, text, error, timeoutMs);
}

}  // namespace tagsmith
