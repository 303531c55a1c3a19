#pragma once

// The Qt side of the translator's property targets: a widget, action, menu
// or tray icon whose "Caption" and "Hint" the translator sets.

#include <QObject>
#include <QPointer>

#include <string>

#include "localization/simple_translator.h"

namespace tagsmith {

// Adapts one QObject. "Caption" is the text of an action or button, the
// title of a menu; "Hint" is the tool tip (and status tip) of an action or
// widget, or of a tray icon. A widget that shows no caption of its own (a
// combo box, a tool button without text) takes its hint as its accessible
// name too, so a screen reader names it as the tool tip does. The
// translator's line breaks (CR LF) become Qt's "\n". Once the object is
// destroyed nothing can be set (false). Main thread only.
class TQtPropertyTarget final : public IPropertyTarget {
 public:
  explicit TQtPropertyTarget(QObject* object);

  bool SetStringProperty(const std::string& name, const std::string& value) override;
  QObject* Object() const { return object_; }

 private:
  QPointer<QObject> object_;
};

}  // namespace tagsmith
