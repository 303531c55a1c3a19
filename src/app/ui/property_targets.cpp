#include "app/ui/property_targets.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QString>
#include <QToolButton>
#include <QWidget>

namespace tagsmith {
namespace {

QString FromTranslator(const std::string& value) {
  QString text = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

// A widget whose name for a screen reader is its hint: one that shows no
// caption of its own.
bool NamedByHint(const QWidget& widget) {
  if (const auto* tool = qobject_cast<const QToolButton*>(&widget)) {
    if (tool->defaultAction()) return false;
    return tool->text().isEmpty() || tool->toolButtonStyle() == Qt::ToolButtonIconOnly;
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) return button->text().isEmpty();
  return true;
}

}  // namespace

TQtPropertyTarget::TQtPropertyTarget(QObject* object) : object_(object) {}

bool TQtPropertyTarget::SetStringProperty(const std::string& name, const std::string& value) {
  QObject* object = object_.data();
  if (!object) return false;
  const QString text = FromTranslator(value);
  if (name == "Caption") {
    if (auto* action = qobject_cast<QAction*>(object)) {
      action->setText(text);
      return true;
    }
    if (auto* menu = qobject_cast<QMenu*>(object)) {
      menu->setTitle(text);
      // A screen reader names a menu by its window title.
      menu->setWindowTitle(QString(text).remove(QLatin1Char('&')));
      return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object)) {
      button->setText(text);
      return true;
    }
    return false;
  }
  if (name == "Hint") {
    if (auto* action = qobject_cast<QAction*>(object)) {
      action->setToolTip(text);
      action->setStatusTip(text);
      return true;
    }
    if (auto* widget = qobject_cast<QWidget*>(object)) {
      widget->setToolTip(text);
      widget->setStatusTip(text);
      if (NamedByHint(*widget)) widget->setAccessibleName(text);
      return true;
    }
    // Anything else with a tool tip, such as the tray icon.
    if (object->metaObject()->indexOfProperty("toolTip") >= 0) return object->setProperty("toolTip", text);
    return false;
  }
  return false;
}

}  // namespace tagsmith
