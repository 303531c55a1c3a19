#include "program/desktop_notification.h"

#include <QFileInfo>
#include <QSystemTrayIcon>

#ifdef TAGSMITH_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#endif

namespace tagsmith {

TBalloonRoute ChooseBalloonRoute(bool trayIconShown, bool desktopBusAvailable) {
  if (trayIconShown) return brTrayIcon;
  if (desktopBusAvailable) return brDesktopBus;
  return brNone;
}

bool DesktopBusAvailable() {
#ifdef TAGSMITH_HAVE_DBUS
  // Only a bus the session names: asking for one otherwise may autolaunch a
  // bus daemon that outlives the program.
  const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (address.isEmpty() && (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime) + "/bus")))
    return false;
  return QDBusConnection::sessionBus().isConnected();
#else
  return false;
#endif
}

int NotificationTimeout(int timeoutMs) { return timeoutMs > 0 ? timeoutMs : 0; }

TBalloonRoute ShowBalloon(QSystemTrayIcon* icon, const QString& title, const QString& text, bool error,
                          int timeoutMs) {
  const bool iconShown = icon && icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
  const TBalloonRoute route = ChooseBalloonRoute(iconShown, !iconShown && DesktopBusAvailable());
  switch (route) {
    case brTrayIcon:
      icon->showMessage(title, text, error ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information,
                        NotificationTimeout(timeoutMs));
      break;
    case brDesktopBus: {
#ifdef TAGSMITH_HAVE_DBUS
      QDBusMessage call = QDBusMessage::createMethodCall(
          "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify");
      QVariantMap hints;
      hints.insert("urgency", QVariant::fromValue<uchar>(error ? 2 : 1));
      hints.insert("desktop-entry", QString("tagsmith"));
      call << QString("Tagsmith") << 0u << QString(error ? "dialog-error" : "dialog-information") << title << text
           << QStringList() << hints << NotificationTimeout(timeoutMs);
      QDBusConnection::sessionBus().send(call);
#endif
      break;
    }
    case brNone:
      break;
  }
  return route;
}

}  // namespace tagsmith
