#pragma once

// The placement of the program's editor window in the settings store
// ("MainFormData"): saved when the window closes, restored when it is first
// shown, always onto a screen the user can see.

#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace tagsmith {

class SettingsStore;

// The stored values: "ShowCmd" (1 normal, 2 minimised, 3 maximised), "Flags"
// (2: a minimised window comes back maximised), "PixelsPerInch" (the screen's
// logical resolution when it was saved), "MinMaxPos" (minimised X, Y,
// maximised X, Y; -1 when the desktop does not place them) and "NormPos"
// (the window's left, top, right, bottom in the normal state, right and
// bottom exclusive). The rectangle is the window's own area without the
// desktop's frame: the frame is only known once the desktop has drawn it, and
// so the rectangle read back is always the one stored.
struct TFormPlacement {
  static constexpr int32_t kShowNormal = 1;
  static constexpr int32_t kShowMinimized = 2;
  static constexpr int32_t kShowMaximized = 3;
  static constexpr int32_t kRestoreToMaximized = 2;

  int32_t ShowCmd = kShowNormal;
  int32_t Flags = 0;
  int32_t PixelsPerInch = 96;
  QPoint MinPos{-1, -1};
  QPoint MaxPos{-1, -1};
  QRect NormPos;

  bool operator==(const TFormPlacement&) const = default;
};

// "a,b,c,d": four decimal integers separated by commas (blanks around them
// allowed); nothing for any other text.
std::optional<std::vector<int32_t>> ParseFourIntegers(const std::string& text);
std::string FormatFourIntegers(int32_t a, int32_t b, int32_t c, int32_t d);

// The placement stored below "MainFormData", or nothing when "NormPos" is
// absent or cannot be used (not four numbers, an empty or inverted
// rectangle): the window then keeps its own placement. Other values that are
// absent or unusable take their defaults.
std::optional<TFormPlacement> ReadFormPlacement(SettingsStore& store);
// Writes all five values. Registry failures reach the caller.
void WriteFormPlacement(SettingsStore& store, const TFormPlacement& placement);

// `frame` (a window's area) moved (and, when larger, shrunk) to lie wholly on
// one of the screens' available areas: the one it overlaps most, or the first when it
// overlaps none. Unchanged when `screens` is empty.
QRect ClampToScreens(const QRect& frame, const std::vector<QRect>& screens);

// The available areas of the connected screens, the primary one first.
std::vector<QRect> AvailableScreenAreas();

// The placement of a top-level window as it is now (its normal frame
// area also while maximised or minimised).
TFormPlacement CaptureFormPlacement(const QWidget& window);
// Puts the window where `placement` says, clamped to `screens`; a size saved
// at another resolution is scaled to the window's current one. A minimised
// window comes back in its normal state (it is being opened to be used),
// maximised when it was maximised before.
void ApplyFormPlacement(QWidget& window, const TFormPlacement& placement, const std::vector<QRect>& screens);

}  // namespace tagsmith
