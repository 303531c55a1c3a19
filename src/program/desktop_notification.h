#pragma once

// Balloons: a notice with a title, a text, an information or error icon and
// a time-out. Through the notification-area icon when the desktop has one,
// else as a desktop notification on the session bus, else not at all.

#include <QString>

class QSystemTrayIcon;

namespace tagsmith {

enum TBalloonRoute {
  brTrayIcon,    // QSystemTrayIcon::showMessage
  brDesktopBus,  // org.freedesktop.Notifications on the session bus
  brNone,        // nowhere to show it
};

// Where a balloon goes: the icon when it is shown on a notification area,
// else the session bus when this build can reach one and it is connected.
TBalloonRoute ChooseBalloonRoute(bool trayIconShown, bool desktopBusAvailable);

// Whether this build speaks D-Bus and a session bus is connected.
bool DesktopBusAvailable();

// A time-out of -1 (or 0) means the notice stays until the user dismisses
// it; what the notification services take as "never expires" is 0.
int NotificationTimeout(int timeoutMs);

// Shows the balloon. `icon` may be null (no notification area). Never
// blocks: the bus call is sent without waiting for its reply. Returns the
// route taken.
TBalloonRoute ShowBalloon(QSystemTrayIcon* icon, const QString& title, const QString& text, bool error,
                          int timeoutMs);

}  // namespace tagsmith
