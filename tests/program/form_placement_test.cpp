// The window's placement in the settings store: its stored forms, what is
// refused, the clamping onto visible screens, and a real window placed and
// read back on the offscreen platform.

#include "program/form_placement.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "app/global_share.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

TEST(FourIntegers, ParsesOnlyFourCommaSeparatedNumbers) {
  struct Case {
    const char* text;
    std::optional<std::vector<int32_t>> expected;
  };
  const Case cases[] = {
      {"1,2,3,4", std::vector<int32_t>{1, 2, 3, 4}},
      {"-1,-1,-1,-1", std::vector<int32_t>{-1, -1, -1, -1}},
      {" 10 , 20,\t30 ,40 ", std::vector<int32_t>{10, 20, 30, 40}},
      {"1,2,3", std::nullopt},
      {"1,2,3,4,5", std::nullopt},
      {"1,,3,4", std::nullopt},
      {"a,b,c,d", std::nullopt},
      {"1.5,2,3,4", std::nullopt},
      {"", std::nullopt},
      {"99999999999,0,0,0", std::nullopt},
      {"+1,2,3,4", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFourIntegers(c.text), c.expected) << '"' << c.text << '"';
  EXPECT_EQ(FormatFourIntegers(-1, 0, 1200, 34), "-1,0,1200,34");
}

TEST(ClampToScreens, PutsTheFrameWhollyOnTheScreenItOverlapsMost) {
  const std::vector<QRect> screens{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
  struct Case {
    const char* what;
    QRect frame;
    QRect expected;
  };
  const Case cases[] = {
      {"inside stays", QRect(100, 80, 600, 650), QRect(100, 80, 600, 650)},
      {"beyond the left edge", QRect(-300, 80, 600, 650), QRect(0, 80, 600, 650)},
      {"below the bottom", QRect(100, 900, 600, 650), QRect(100, 390, 600, 650)},
      {"mostly on the second screen", QRect(1800, 100, 600, 650), QRect(1920, 100, 600, 650)},
      {"on the second screen's far side", QRect(3100, 100, 600, 650), QRect(2600, 100, 600, 650)},
      {"on no screen: the first", QRect(9000, 9000, 600, 650), QRect(1320, 390, 600, 650)},
      {"larger than its screen", QRect(2000, -50, 3000, 3000), QRect(1920, 0, 1280, 1024)},
  };
  for (const Case& c : cases) EXPECT_EQ(ClampToScreens(c.frame, screens), c.expected) << c.what;
  EXPECT_EQ(ClampToScreens(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));
}

class StoredPlacement : public ::testing::Test {
 protected:
  StoredPlacement() { InitGlobalShare((home / "prog/tagsmith").string()); }
  ~StoredPlacement() override { DoneGlobalShare(); }
  SettingsStore& Store() { return GetSettingsStore(); }
  std::optional<RegistryValue> Raw(const char* name) {
    return Store().GetRegistry().ReadValue(RegistryHive::CurrentUser, std::string(settings::kRoot) + "\\MainFormData",
                                           name);
  }

  testing::TempHome home;
};

TEST_F(StoredPlacement, IsWrittenInTheRegistryFormsAndReadBack) {
  TFormPlacement p;
  p.ShowCmd = TFormPlacement::kShowMaximized;
  p.Flags = 0;
  p.PixelsPerInch = 120;
  p.NormPos = QRect(QPoint(40, 30), QPoint(624, 685));  // right and bottom stored exclusive
  WriteFormPlacement(Store(), p);

  EXPECT_EQ(Raw("ShowCmd"), RegistryValue::DWord(3));
  EXPECT_EQ(Raw("Flags"), RegistryValue::DWord(0));
  EXPECT_EQ(Raw("PixelsPerInch"), RegistryValue::DWord(120));
  EXPECT_EQ(Raw("MinMaxPos"), RegistryValue::String("-1,-1,-1,-1"));
  EXPECT_EQ(Raw("NormPos"), RegistryValue::String("40,30,625,686"));
  EXPECT_EQ(ReadFormPlacement(Store()), p);
}

TEST_F(StoredPlacement, UnusableValuesLeaveTheWindowsOwnPlacementOrTheirDefaults) {
  EXPECT_EQ(ReadFormPlacement(Store()), std::nullopt) << "nothing stored";
  for (const char* bad : {"10,10,5,50", "10,10,50,10", "x,1,2,3", "1,2,3", "0,0,9999999,100"}) {
    Store().WriteString("MainFormData\\NormPos", bad);
    EXPECT_EQ(ReadFormPlacement(Store()), std::nullopt) << bad;
  }
  Store().WriteString("MainFormData\\NormPos", "10,20,610,646");
  Store().WriteInteger("MainFormData\\ShowCmd", 7);
  Store().WriteInteger("MainFormData\\PixelsPerInch", -5);
  Store().WriteString("MainFormData\\MinMaxPos", "garbage");
  const auto p = ReadFormPlacement(Store());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->NormPos, QRect(10, 20, 600, 626));
  EXPECT_EQ(p->ShowCmd, TFormPlacement::kShowNormal);
  EXPECT_EQ(p->PixelsPerInch, 0) << "an unusable resolution is not used for scaling";
  EXPECT_EQ(p->MinPos, QPoint(-1, -1));
}

TEST(WindowPlacement, AppliedPlacementIsCapturedBackUnchanged) {
  QWidget window;
  window.resize(585, 626);
  const std::vector<QRect> screens = AvailableScreenAreas();
  ASSERT_FALSE(screens.empty());
  TFormPlacement p;
  p.PixelsPerInch = window.logicalDpiY();
  p.NormPos = QRect(50, 60, 500, 400);
  ApplyFormPlacement(window, p, screens);
  window.show();
  const TFormPlacement back = CaptureFormPlacement(window);
  EXPECT_EQ(back.ShowCmd, TFormPlacement::kShowNormal);
  EXPECT_EQ(back.NormPos, p.NormPos);
  EXPECT_EQ(back.PixelsPerInch, window.logicalDpiY());
}

TEST(WindowPlacement, MaximisedAndMinimisedComeBackUsable) {
  const std::vector<QRect> screens = AvailableScreenAreas();
  struct Case {
    int32_t showCmd;
    int32_t flags;
    bool maximised;
  };
  for (const Case c : {Case{TFormPlacement::kShowMaximized, 0, true}, Case{TFormPlacement::kShowMinimized, 0, false},
                       Case{TFormPlacement::kShowMinimized, TFormPlacement::kRestoreToMaximized, true}}) {
    QWidget window;
    window.setWindowState(Qt::WindowMinimized);
    TFormPlacement p;
    p.ShowCmd = c.showCmd;
    p.Flags = c.flags;
    p.NormPos = QRect(70, 80, 400, 300);
    ApplyFormPlacement(window, p, screens);
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized) << c.showCmd;
    EXPECT_EQ(bool(window.windowState() & Qt::WindowMaximized), c.maximised) << c.showCmd << "/" << c.flags;
    const TFormPlacement back = CaptureFormPlacement(window);
    EXPECT_EQ(back.ShowCmd, c.maximised ? TFormPlacement::kShowMaximized : TFormPlacement::kShowNormal);
    EXPECT_EQ(back.NormPos, p.NormPos) << "the normal rectangle survives a maximised window";
  }
}

TEST(WindowPlacement, ASizeSavedAtAnotherResolutionIsScaledAndClamped) {
  QWidget window;
  const int dpi = window.logicalDpiY();
  const std::vector<QRect> screens{QRect(0, 0, 800, 600)};
  TFormPlacement p;
  p.PixelsPerInch = dpi * 2;
  p.NormPos = QRect(700, 10, 400, 300);
  ApplyFormPlacement(window, p, screens);
  EXPECT_EQ(window.size(), QSize(200, 150));
  EXPECT_EQ(window.pos(), QPoint(600, 10)) << "moved back onto the screen";
}

}  // namespace
}  // namespace tagsmith
