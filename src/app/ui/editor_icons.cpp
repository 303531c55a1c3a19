#include "app/ui/editor_icons.h"

#include <QFont>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace tagsmith {
namespace {

// The colours one icon is drawn with; the disabled state has them all grey.
struct Inks {
  QColor line;   // outlines and text
  QColor paper;  // sheets of paper
  QColor accent; // the one coloured detail
  QColor accent2;
};

Inks InksFor(QIcon::Mode mode) {
  if (mode == QIcon::Disabled)
    return {QColor(160, 160, 160), QColor(236, 236, 236), QColor(175, 175, 175), QColor(190, 190, 190)};
  return {QColor(52, 60, 72), QColor(255, 255, 255), QColor(38, 112, 200), QColor(214, 72, 56)};
}

QPen Pen(const QColor& c, qreal width = 1.2) {
  QPen p(c, width);
  p.setCapStyle(Qt::RoundCap);
  p.setJoinStyle(Qt::RoundJoin);
  return p;
}

// A sheet with a folded corner in the 16-unit grid.
void Sheet(QPainter& p, const Inks& k, QRectF r = QRectF(3, 1.5, 10, 13)) {
  QPainterPath path;
  const qreal fold = 3;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - fold, r.top());
  path.lineTo(r.right(), r.top() + fold);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(Pen(k.line, 1));
  p.setBrush(k.paper);
  p.drawPath(path);
  p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void TextLines(QPainter& p, const QColor& c, qreal left, qreal top, const qreal* widths, int n, qreal step = 2.5) {
  p.setPen(Pen(c, 1.1));
  for (int i = 0; i < n; ++i) p.drawLine(QPointF(left, top + i * step), QPointF(left + widths[i], top + i * step));
}

void Letter(QPainter& p, const QColor& c, const QString& text, bool bold, bool italic, QRectF r = QRectF(0, 0, 16, 16),
            qreal size = 12) {
  QFont f(QStringLiteral("DejaVu Serif"));
  // `size` in units of the 16-unit grid; fonts are sized in points, 3/4 of a
  // pixel at the 96 dpi the icon pixmaps have.
  f.setPointSizeF(size * 0.75);
  f.setBold(bold);
  f.setItalic(italic);
  f.setStyleStrategy(QFont::PreferAntialias);
  p.setFont(f);
  p.setPen(c);
  p.drawText(r, Qt::AlignCenter, text);
}

void Floppy(QPainter& p, const Inks& k, QRectF r) {
  p.setPen(Pen(k.line, 1));
  p.setBrush(k.accent);
  p.drawRoundedRect(r, 1, 1);
  p.setBrush(k.paper);
  p.drawRect(QRectF(r.left() + r.width() * 0.2, r.top(), r.width() * 0.6, r.height() * 0.38));
  p.setBrush(k.line);
  p.drawRect(QRectF(r.left() + r.width() * 0.3, r.bottom() - r.height() * 0.32, r.width() * 0.4, r.height() * 0.32));
}

void Arrow(QPainter& p, const QColor& c, bool back) {
  p.setPen(Pen(c, 1.8));
  p.setBrush(Qt::NoBrush);
  QPainterPath path;
  if (back) {
    path.moveTo(4, 7);
    path.cubicTo(7, 3.5, 13, 4, 13.5, 9);
    path.cubicTo(13.8, 11.5, 12, 13, 10, 13.5);
  } else {
    path.moveTo(12, 7);
    path.cubicTo(9, 3.5, 3, 4, 2.5, 9);
    path.cubicTo(2.2, 11.5, 4, 13, 6, 13.5);
  }
  p.drawPath(path);
  p.setBrush(c);
  p.setPen(Pen(c, 1));
  QPolygonF head;
  if (back) head << QPointF(2, 3.5) << QPointF(2.5, 8.5) << QPointF(7, 7.5);
  else head << QPointF(14, 3.5) << QPointF(13.5, 8.5) << QPointF(9, 7.5);
  p.drawPolygon(head);
}

void Clipboard(QPainter& p, const Inks& k) {
  p.setPen(Pen(k.line, 1));
  p.setBrush(QColor(196, 150, 96).lighter(k.line == QColor(160, 160, 160) ? 150 : 100));
  p.drawRoundedRect(QRectF(2.5, 2.5, 9, 12), 1, 1);
  p.setBrush(k.line);
  p.drawRoundedRect(QRectF(5, 1.2, 4, 2.5), 0.8, 0.8);
}

void Lines(QPainter& p, const QColor& c, Qt::Alignment a) {
  p.setPen(Pen(c, 1.5));
  const qreal widths[] = {12, 8, 12, 7};
  for (int i = 0; i < 4; ++i) {
    const qreal w = widths[i];
    qreal left = 2;
    if (a & Qt::AlignHCenter) left = 8 - w / 2;
    else if (a & Qt::AlignRight) left = 14 - w;
    const qreal y = 3 + i * 3.3;
    p.drawLine(QPointF(left, y), QPointF(left + w, y));
  }
}

void Draw(TEditorIcon icon, QPainter& p, const Inks& k) {
  switch (icon) {
    case TEditorIcon::NewDoc:
      Sheet(p, k);
      p.setPen(Pen(k.accent, 1.6));
      p.drawLine(QPointF(12, 9.5), QPointF(12, 15));
      p.drawLine(QPointF(9.3, 12.2), QPointF(14.7, 12.2));
      break;
    case TEditorIcon::OpenFile: {
      p.setPen(Pen(k.line, 1));
      p.setBrush(QColor(232, 184, 72).lighter(k.line == QColor(160, 160, 160) ? 150 : 100));
      QPainterPath back;
      back.moveTo(1.5, 13.5);
      back.lineTo(1.5, 3);
      back.lineTo(6, 3);
      back.lineTo(7.5, 4.5);
      back.lineTo(13, 4.5);
      back.lineTo(13, 7);
      p.drawPath(back);
      QPainterPath front;
      front.moveTo(1.5, 13.5);
      front.lineTo(4, 7);
      front.lineTo(15, 7);
      front.lineTo(12.5, 13.5);
      front.closeSubpath();
      p.setBrush(QColor(248, 208, 104).lighter(k.line == QColor(160, 160, 160) ? 140 : 100));
      p.drawPath(front);
      break;
    }
    case TEditorIcon::Save: Floppy(p, k, QRectF(2, 2, 12, 12)); break;
    case TEditorIcon::SaveAs: {
      Floppy(p, k, QRectF(1.5, 1.5, 10, 10));
      p.setPen(Pen(k.accent2, 1.8));
      p.drawLine(QPointF(8.5, 14.5), QPointF(14.5, 8.5));
      p.setPen(Pen(k.line, 1));
      p.drawLine(QPointF(7.8, 15.2), QPointF(8.6, 13.4));
      break;
    }
    case TEditorIcon::Settings: {
      p.setPen(Pen(k.line, 1));
      p.setBrush(k.accent);
      QPainterPath gear;
      for (int i = 0; i < 8; ++i) {
        QTransform t;
        t.translate(8, 8);
        t.rotate(i * 45);
        gear.addPolygon(t.map(QPolygonF(QRectF(-1.5, -7, 3, 3))));
      }
      gear.addEllipse(QPointF(8, 8), 5, 5);
      gear.setFillRule(Qt::WindingFill);
      p.drawPath(gear.simplified());
      p.setBrush(k.paper);
      p.drawEllipse(QPointF(8, 8), 2, 2);
      break;
    }
    case TEditorIcon::Exit: {
      p.setPen(Pen(k.line, 1));
      p.setBrush(k.paper);
      p.drawRect(QRectF(2, 1.5, 7, 13));
      p.setPen(Pen(k.accent2, 1.8));
      p.drawLine(QPointF(6, 8), QPointF(14, 8));
      p.drawLine(QPointF(11, 5), QPointF(14, 8));
      p.drawLine(QPointF(11, 11), QPointF(14, 8));
      break;
    }
    case TEditorIcon::Cut: {
      p.setPen(Pen(k.line, 1.3));
      p.setBrush(Qt::NoBrush);
      p.drawLine(QPointF(4, 1.5), QPointF(10.5, 11));
      p.drawLine(QPointF(12, 1.5), QPointF(5.5, 11));
      p.setPen(Pen(k.accent2, 1.5));
      p.drawEllipse(QPointF(4.5, 12.5), 2.3, 2.3);
      p.drawEllipse(QPointF(11.5, 12.5), 2.3, 2.3);
      break;
    }
    case TEditorIcon::Copy: {
      Sheet(p, k, QRectF(1.5, 1.5, 8.5, 10.5));
      Sheet(p, k, QRectF(6, 4.5, 8.5, 10.5));
      const qreal w[] = {4.5, 3.5, 4.5};
      TextLines(p, k.accent, 7.5, 9, w, 3, 1.9);
      break;
    }
    case TEditorIcon::Paste:
    case TEditorIcon::PasteAs: {
      Clipboard(p, k);
      Sheet(p, k, QRectF(6.5, 5.5, 8, 9.5));
      if (icon == TEditorIcon::PasteAs) {
        Letter(p, k.accent2, QStringLiteral("A"), true, false, QRectF(6.5, 6.5, 8, 8.5), 6);
      } else {
        const qreal w[] = {4.5, 3.5, 4.5};
        TextLines(p, k.accent, 8, 9.5, w, 3, 1.9);
      }
      break;
    }
    case TEditorIcon::Undo: Arrow(p, k.accent, true); break;
    case TEditorIcon::Redo: Arrow(p, k.accent, false); break;
    case TEditorIcon::InsertObject: {
      p.setPen(Pen(k.line, 1));
      p.setBrush(k.paper);
      p.drawRect(QRectF(1.5, 3.5, 11, 10));
      p.setBrush(k.accent);
      p.drawEllipse(QPointF(5.5, 8.5), 2.2, 2.2);
      p.setBrush(k.accent2);
      p.drawRect(QRectF(8, 6, 3, 5));
      p.setPen(Pen(k.line, 1.5));
      p.drawLine(QPointF(13.5, 0.8), QPointF(13.5, 5.2));
      p.drawLine(QPointF(11.3, 3), QPointF(15.7, 3));
      break;
    }
    case TEditorIcon::InsertPicture:
    case TEditorIcon::PaintPicture: {
      p.setPen(Pen(k.line, 1));
      p.setBrush(k.paper);
      p.drawRect(QRectF(1.5, 2.5, 13, 11));
      p.setPen(Qt::NoPen);
      p.setBrush(k.accent);
      QPolygonF hills;
      hills << QPointF(2, 13) << QPointF(6, 7.5) << QPointF(9, 11) << QPointF(11, 9) << QPointF(14, 13);
      p.drawPolygon(hills);
      p.setBrush(QColor(240, 180, 40).lighter(k.line == QColor(160, 160, 160) ? 150 : 100));
      p.drawEllipse(QPointF(11, 5.5), 1.5, 1.5);
      if (icon == TEditorIcon::PaintPicture) {
        p.setPen(Pen(k.line, 1));
        p.setBrush(k.accent2);
        QPolygonF brush;
        brush << QPointF(15.5, 0.5) << QPointF(16, 1.5) << QPointF(9.5, 9) << QPointF(8, 8);
        p.drawPolygon(brush);
      }
      break;
    }
    case TEditorIcon::Equation: {
      Letter(p, k.line, QString(QChar(0x221A)), false, false, QRectF(0, 0, 9, 16), 11);
      Letter(p, k.accent, QStringLiteral("x"), false, true, QRectF(6, 1, 10, 14), 10);
      break;
    }
    case TEditorIcon::WordDoc: {
      Sheet(p, k);
      const qreal w[] = {7, 5, 7, 4};
      TextLines(p, k.line, 4.5, 6, w, 4);
      p.setPen(Qt::NoPen);
      p.setBrush(k.accent);
      p.drawRect(QRectF(1, 2, 6, 5));
      Letter(p, QColor(255, 255, 255), QStringLiteral("W"), true, false, QRectF(1, 2, 6, 5), 4.5);
      break;
    }
    case TEditorIcon::ExcelTable: {
      p.setPen(Pen(k.line, 1));
      p.setBrush(k.paper);
      p.drawRect(QRectF(1.5, 2.5, 13, 11));
      p.setBrush(QColor(72, 160, 88).lighter(k.line == QColor(160, 160, 160) ? 160 : 100));
      p.drawRect(QRectF(1.5, 2.5, 13, 3));
      p.setPen(Pen(k.line, 0.8));
      for (qreal x : {5.5, 10.0}) p.drawLine(QPointF(x, 2.5), QPointF(x, 13.5));
      for (qreal y : {8.3, 10.9}) p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
      break;
    }
    case TEditorIcon::VisitSite: {
      p.setPen(Pen(k.accent, 1.1));
      p.setBrush(k.paper);
      p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(8, 8), 3, 6.5);
      p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
      p.drawLine(QPointF(2.5, 4.8), QPointF(13.5, 4.8));
      p.drawLine(QPointF(2.5, 11.2), QPointF(13.5, 11.2));
      break;
    }
    case TEditorIcon::About: {
      p.setPen(Qt::NoPen);
      p.setBrush(k.accent);
      p.drawEllipse(QPointF(8, 8), 7, 7);
      Letter(p, QColor(255, 255, 255), QStringLiteral("i"), true, false, QRectF(0, 0.5, 16, 16), 10);
      break;
    }
    case TEditorIcon::Bold: Letter(p, k.line, QStringLiteral("B"), true, false); break;
    case TEditorIcon::Italic: Letter(p, k.line, QStringLiteral("I"), false, true); break;
    case TEditorIcon::Underline:
      Letter(p, k.line, QStringLiteral("U"), false, false, QRectF(0, -1.5, 16, 16));
      p.setPen(Pen(k.accent, 1.4));
      p.drawLine(QPointF(3.5, 14.5), QPointF(12.5, 14.5));
      break;
    case TEditorIcon::Strikeout:
      Letter(p, k.line, QStringLiteral("S"), false, false);
      p.setPen(Pen(k.accent2, 1.4));
      p.drawLine(QPointF(2.5, 8.5), QPointF(13.5, 8.5));
      break;
    case TEditorIcon::AlignLeft: Lines(p, k.line, Qt::AlignLeft); break;
    case TEditorIcon::AlignCenter: Lines(p, k.line, Qt::AlignHCenter); break;
    case TEditorIcon::AlignRight: Lines(p, k.line, Qt::AlignRight); break;
    case TEditorIcon::Bullets: {
      for (int i = 0; i < 3; ++i) {
        const qreal y = 3.5 + i * 4.5;
        p.setPen(Qt::NoPen);
        p.setBrush(k.accent);
        p.drawEllipse(QPointF(3, y), 1.5, 1.5);
        p.setPen(Pen(k.line, 1.5));
        p.drawLine(QPointF(6.5, y), QPointF(14.5, y));
      }
      break;
    }
    case TEditorIcon::Superscript:
    case TEditorIcon::Subscript: {
      const bool super = icon == TEditorIcon::Superscript;
      Letter(p, k.line, QStringLiteral("x"), false, false, QRectF(0, 1, 11, 15), 11);
      Letter(p, k.accent, QStringLiteral("2"), true, false, super ? QRectF(8, 0, 8, 8) : QRectF(8, 8, 8, 8), 6.5);
      break;
    }
    case TEditorIcon::Colorize: {
      const bool grey = k.line == QColor(160, 160, 160);
      Letter(p, grey ? k.line : QColor(200, 60, 160), QStringLiteral("A"), true, false, QRectF(0, -2, 16, 14), 13);
      const QColor bars[] = {QColor(236, 120, 200), QColor(170, 110, 230), QColor(240, 140, 150)};
      p.setPen(Qt::NoPen);
      for (int i = 0; i < 3; ++i) {
        p.setBrush(grey ? k.accent : bars[i]);
        p.drawRect(QRectF(1.5 + i * 4.5, 12.5, 4.2, 2.5));
      }
      break;
    }
    case TEditorIcon::Convert: {
      p.setPen(Pen(k.line, 1));
      p.setBrush(k.paper);
      p.drawRoundedRect(QRectF(0.5, 3.5, 15, 9), 1.5, 1.5);
      Letter(p, k.accent, QStringLiteral("[b]"), true, false, QRectF(0.5, 3.5, 15, 9), 5.5);
      break;
    }
    case TEditorIcon::AppIcon: {
      p.setPen(Qt::NoPen);
      p.setBrush(k.accent);
      p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
      Letter(p, QColor(255, 255, 255), QStringLiteral("T"), true, false, QRectF(0, 0, 16, 16), 11);
      break;
    }
  }
}

class TDrawnIconEngine final : public QIconEngine {
 public:
  explicit TDrawnIconEngine(TEditorIcon icon) : icon_(icon) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    const qreal side = std::min(rect.width(), rect.height());
    painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
    painter->scale(side / 16.0, side / 16.0);
    Draw(icon_, *painter, InksFor(mode));
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    QPixmap pm(size * scale);
    pm.setDevicePixelRatio(scale);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pm;
  }

  QIconEngine* clone() const override { return new TDrawnIconEngine(icon_); }
  QString key() const override { return QStringLiteral("tagsmith-drawn"); }

 private:
  TEditorIcon icon_;
};

}  // namespace

QIcon EditorIcon(TEditorIcon icon) { return QIcon(new TDrawnIconEngine(icon)); }

}  // namespace tagsmith
