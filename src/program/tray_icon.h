#pragma once

// TrayIconMain: the program's notification-area icon. Its hint says the
// program runs, a click shows or hides the editor window, a double click
// opens it, and its menu offers Open editor, Visit home Site and Exit (the
// window's own actions, so their texts follow the translation). The
// translator reaches the hint as the QSystemTrayIcon's tool tip.

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QWidget;

namespace tagsmith {

// Main thread only. The window and the actions must outlive the icon.
class TTrayIconMain : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kDesignHint = "Tagsmith is running...";

  // `openEditor`, `visitSite` and `exit` make the menu, in that order, with a
  // separator before Exit. The icon is not shown until SetVisible(true).
  TTrayIconMain(QWidget& window, QAction* openEditor, QAction* visitSite, QAction* exit,
                QObject* parent = nullptr);
  ~TTrayIconMain() override;

  // Shows or hides the icon; shown only where the desktop has a
  // notification area.
  void SetVisible(bool visible);
  bool IsVisible() const;

  QString Hint() const;
  void SetHint(const QString& hint);

  QSystemTrayIcon& Icon() { return *icon_; }
  QMenu& Menu() { return *menu_; }

  // What a click and a double click do: a click opens a hidden (or
  // minimised) window and hides a shown one; a double click opens it.
  void Activate(QSystemTrayIcon::ActivationReason reason);
  void ToggleWindow();
  // Opens the window: through the handler SetOpenHandler gave, else as
  // OpenWindow does.
  void OpenEditor();
  void SetOpenHandler(std::function<void()> open) { open_ = std::move(open); }

  // A balloon: through the icon when it is shown, else a desktop
  // notification (see desktop_notification.h).
  void ShowBalloon(const QString& title, const QString& text, bool error, int timeoutMs);

 private:
  QPointer<QWidget> window_;
  std::function<void()> open_;
  std::unique_ptr<QMenu> menu_;
  QSystemTrayIcon* icon_;
};

// Opens the window as the Open editor command does: out of the minimised
// state (keeping a maximised one), shown, raised and activated.
void OpenWindow(QWidget& window);

// The program's icon: the installed theme icon "tagsmith" when the desktop
// has one, else the same picture drawn here.
QIcon ProgramIcon();

}  // namespace tagsmith
