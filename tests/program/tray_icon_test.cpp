// The notification-area icon over a real window on the offscreen platform:
// its menu, its hint, what a click and a double click do, and where a
// balloon goes.

#include "program/tray_icon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "program/desktop_notification.h"

namespace tagsmith {
namespace {

struct TrayFixture {
  TrayFixture() : tray(window, &openEditor, &visitSite, &exit) {}
  QWidget window;
  QAction openEditor{"Open editor"};
  QAction visitSite{"Visit home Site"};
  QAction exit{"Exit"};
  TTrayIconMain tray;
};

TEST(TrayIconMain, MenuHoldsOpenEditorVisitSiteSeparatorExit) {
  TrayFixture f;
  const QList<QAction*> items = f.tray.Menu().actions();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0], &f.openEditor);
  EXPECT_EQ(items[1], &f.visitSite);
  EXPECT_TRUE(items[2]->isSeparator());
  EXPECT_EQ(items[3], &f.exit);
  EXPECT_EQ(f.tray.Icon().contextMenu(), &f.tray.Menu());
  EXPECT_EQ(f.tray.objectName(), "TrayIconMain");
  EXPECT_FALSE(f.tray.Icon().icon().isNull());
}

TEST(TrayIconMain, HintStartsAsDesignedAndIsTheIconsToolTip) {
  TrayFixture f;
  EXPECT_EQ(f.tray.Hint(), "Tagsmith is running...");
  f.tray.Icon().setToolTip(QString::fromUtf8("Tagsmith работает..."));
  EXPECT_EQ(f.tray.Hint(), QString::fromUtf8("Tagsmith работает..."));
}

TEST(TrayIconMain, OpensThroughTheGivenHandler) {
  TrayFixture f;
  int opened = 0;
  f.tray.SetOpenHandler([&] {
    ++opened;
    f.window.show();
  });
  f.tray.Activate(QSystemTrayIcon::DoubleClick);
  f.tray.Activate(QSystemTrayIcon::Trigger);
  f.tray.Activate(QSystemTrayIcon::Trigger);
  EXPECT_EQ(opened, 2);
  EXPECT_TRUE(f.window.isVisible());
}

TEST(TrayIconMain, ClickTogglesAndDoubleClickOpens) {
  struct Step {
    QSystemTrayIcon::ActivationReason reason;
    bool visibleAfter;
  };
  TrayFixture f;
  const Step steps[] = {
      {QSystemTrayIcon::Trigger, true},       {QSystemTrayIcon::Trigger, false},
      {QSystemTrayIcon::DoubleClick, true},   {QSystemTrayIcon::DoubleClick, true},
      {QSystemTrayIcon::MiddleClick, true},   {QSystemTrayIcon::Context, true},
      {QSystemTrayIcon::Trigger, false},
  };
  int i = 0;
  for (const Step& s : steps) {
    f.tray.Activate(s.reason);
    EXPECT_EQ(f.window.isVisible(), s.visibleAfter) << "step " << i;
    ++i;
  }
}

TEST(TrayIconMain, ClickOnAMinimisedWindowBringsItBackKeepingMaximised) {
  TrayFixture f;
  f.window.show();
  f.window.setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
  f.tray.Activate(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(f.window.isVisible());
  EXPECT_FALSE(f.window.windowState() & Qt::WindowMinimized);
  EXPECT_TRUE(f.window.windowState() & Qt::WindowMaximized);
}

TEST(TrayIconMain, TheWindowMayGoFirst) {
  auto window = std::make_unique<QWidget>();
  QAction a("a"), b("b"), c("c");
  TTrayIconMain tray(*window, &a, &b, &c);
  window.reset();
  tray.Activate(QSystemTrayIcon::Trigger);
  tray.OpenEditor();
}

TEST(Balloons, GoToTheIconThenTheSessionBusThenNowhere) {
  EXPECT_EQ(ChooseBalloonRoute(true, true), brTrayIcon);
  EXPECT_EQ(ChooseBalloonRoute(true, false), brTrayIcon);
  EXPECT_EQ(ChooseBalloonRoute(false, true), brDesktopBus);
  EXPECT_EQ(ChooseBalloonRoute(false, false), brNone);
  for (auto [given, expected] : {std::pair{3000, 3000}, {-1, 0}, {0, 0}, {1, 1}})
    EXPECT_EQ(NotificationTimeout(given), expected) << given;
}

TEST(Balloons, WithoutNotificationAreaOrBusNothingIsShownAndNothingFails) {
  // The offscreen platform has no notification area; the tests' session has
  // no bus.
  TrayFixture f;
  f.tray.SetVisible(true);
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_EQ(ShowBalloon(&f.tray.Icon(), "Title", "Text", true, 3000), DesktopBusAvailable() ? brDesktopBus : brNone);
  EXPECT_EQ(ShowBalloon(nullptr, "Title", "Text", false, -1), DesktopBusAvailable() ? brDesktopBus : brNone);
}

}  // namespace
}  // namespace tagsmith
