#include "program/form_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/global_share.h"

namespace tagsmith {

namespace {

// A stored rectangle larger than any screen is shrunk anyway; this only
// keeps the arithmetic of absurd values inside int.
constexpr int32_t kCoordinateLimit = 1 << 20;

bool Usable(int32_t v) { return v > -kCoordinateLimit && v < kCoordinateLimit; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::vector<int32_t>> ParseFourIntegers(const std::string& text) {
  std::vector<int32_t> values;
  std::string_view rest = text;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = rest.find(',');
    if ((comma == std::string_view::npos) != (i == 3)) return std::nullopt;
    std::string_view field = Trim(rest.substr(0, comma));
    if (field.empty()) return std::nullopt;
    int32_t v = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
    if (ec != std::errc() || end != field.data() + field.size()) return std::nullopt;
    values.push_back(v);
    if (comma != std::string_view::npos) rest.remove_prefix(comma + 1);
  }
  return values;
}

std::string FormatFourIntegers(int32_t a, int32_t b, int32_t c, int32_t d) {
  return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," + std::to_string(d);
}

std::optional<TFormPlacement> ReadFormPlacement(SettingsStore& store) {
  if (!store.ValueExists(settings::kMainFormNormPos.name)) return std::nullopt;
  const auto norm = ParseFourIntegers(store.Read(settings::kMainFormNormPos));
  if (!norm) return std::nullopt;
  const auto& n = *norm;
  if (!std::all_of(n.begin(), n.end(), Usable) || n[2] <= n[0] || n[3] <= n[1]) return std::nullopt;
  TFormPlacement p;
  p.NormPos = QRect(QPoint(n[0], n[1]), QPoint(n[2] - 1, n[3] - 1));
  const int32_t showCmd = store.ReadInteger(settings::kMainFormShowCmd.name, TFormPlacement::kShowNormal);
  p.ShowCmd = showCmd >= TFormPlacement::kShowNormal && showCmd <= TFormPlacement::kShowMaximized
                  ? showCmd
                  : TFormPlacement::kShowNormal;
  p.Flags = store.ReadInteger(settings::kMainFormFlags.name, 0);
  const int32_t ppi = store.ReadInteger(settings::kMainFormPixelsPerInch.name, 0);
  p.PixelsPerInch = ppi > 0 && ppi < 10000 ? ppi : 0;
  if (const auto mm = ParseFourIntegers(store.Read(settings::kMainFormMinMaxPos))) {
    p.MinPos = QPoint((*mm)[0], (*mm)[1]);
    p.MaxPos = QPoint((*mm)[2], (*mm)[3]);
  }
  return p;
}

void WriteFormPlacement(SettingsStore& store, const TFormPlacement& p) {
  const QRect& r = p.NormPos;
  store.WriteInteger(settings::kMainFormShowCmd.name, p.ShowCmd);
  store.WriteInteger(settings::kMainFormFlags.name, p.Flags);
  store.WriteInteger(settings::kMainFormPixelsPerInch.name, p.PixelsPerInch);
  store.WriteString(settings::kMainFormMinMaxPos.name,
                    FormatFourIntegers(p.MinPos.x(), p.MinPos.y(), p.MaxPos.x(), p.MaxPos.y()));
  store.WriteString(settings::kMainFormNormPos.name,
                    FormatFourIntegers(r.left(), r.top(), r.left() + r.width(), r.top() + r.height()));
}

QRect ClampToScreens(const QRect& frame, const std::vector<QRect>& screens) {
  if (screens.empty()) return frame;
  const QRect* target = &screens.front();
  int64_t best = 0;
  for (const QRect& s : screens) {
    const QRect overlap = s.intersected(frame);
    const int64_t area = overlap.isEmpty() ? 0 : int64_t(overlap.width()) * overlap.height();
    if (area > best) {
      best = area;
      target = &s;
    }
  }
  QRect r = frame;
  r.setWidth(std::min(r.width(), target->width()));
  r.setHeight(std::min(r.height(), target->height()));
  r.moveLeft(std::clamp(r.left(), target->left(), target->left() + target->width() - r.width()));
  r.moveTop(std::clamp(r.top(), target->top(), target->top() + target->height() - r.height()));
  return r;
}

std::vector<QRect> AvailableScreenAreas() {
  std::vector<QRect> areas;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) areas.push_back(primary->availableGeometry());
  for (QScreen* s : QGuiApplication::screens())
    if (s != primary) areas.push_back(s->availableGeometry());
  return areas;
}

TFormPlacement CaptureFormPlacement(const QWidget& window) {
  TFormPlacement p;
  const Qt::WindowStates state = window.windowState();
  if (state & Qt::WindowMinimized) {
    p.ShowCmd = TFormPlacement::kShowMinimized;
    if (state & Qt::WindowMaximized) p.Flags = TFormPlacement::kRestoreToMaximized;
  } else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
    p.ShowCmd = TFormPlacement::kShowMaximized;
  }
  p.PixelsPerInch = window.logicalDpiY();
  p.NormPos = p.ShowCmd == TFormPlacement::kShowNormal || window.normalGeometry().isEmpty() ? window.geometry()
                                                                                           : window.normalGeometry();
  return p;
}

void ApplyFormPlacement(QWidget& window, const TFormPlacement& placement, const std::vector<QRect>& screens) {
  QRect area = placement.NormPos;
  const int current = window.logicalDpiY();
  if (placement.PixelsPerInch > 0 && current > 0 && placement.PixelsPerInch != current) {
    const double scale = double(current) / placement.PixelsPerInch;
    area.setSize(QSize(int(std::lround(area.width() * scale)), int(std::lround(area.height() * scale))));
  }
  area = ClampToScreens(area, screens);
  window.setWindowState(window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
  window.setGeometry(area);
  const bool maximized = placement.ShowCmd == TFormPlacement::kShowMaximized ||
                         (placement.ShowCmd == TFormPlacement::kShowMinimized &&
                          (placement.Flags & TFormPlacement::kRestoreToMaximized));
  if (maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

}  // namespace tagsmith
