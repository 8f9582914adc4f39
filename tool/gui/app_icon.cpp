#include "tool/gui/app_icon.hpp"

#include <QPainter>
#include <QPainterPath>

namespace tarvo::gui {
namespace {

// An 8 x 8 matrix; '#' marks a lit LED.
constexpr const char* kMatrix[8] = {
    "........", ".######.", ".######.", "...##...", "...##...", "...##...", "...##...", "........",
};

}  // namespace

QImage DrawAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  // The panel: a dark frame with a lighter bezel.
  QRectF frame(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
  QPainterPath panel;
  panel.addRoundedRect(frame, s * 0.12, s * 0.12);
  p.fillPath(panel, QColor(0x30, 0x34, 0x3a));
  p.setPen(QPen(QColor(0x8a, 0x93, 0x9e), qMax<qreal>(1.0, s / 32.0)));
  p.drawPath(panel);
  // The LEDs: lit ones amber with a bright core, dark ones dim red.
  const qreal cell = s * 0.84 / 8;
  const qreal origin = s * 0.08;
  p.setPen(Qt::NoPen);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      QRectF led(origin + x * cell + cell * 0.12, origin + y * cell + cell * 0.12, cell * 0.76,
                 cell * 0.76);
      bool lit = kMatrix[y][x] == '#';
      p.setBrush(lit ? QColor(0xff, 0xa0, 0x1c) : QColor(0x55, 0x24, 0x20));
      p.drawEllipse(led);
      if (lit && size >= 32) {
        p.setBrush(QColor(0xff, 0xe6, 0xa8));
        p.drawEllipse(led.adjusted(cell * 0.22, cell * 0.22, -cell * 0.22, -cell * 0.22));
      }
    }
  }
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
  return icon;
}

}  // namespace tarvo::gui
