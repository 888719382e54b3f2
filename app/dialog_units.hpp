#pragma once
// Dialog layouts are given in dialog units: a quarter of the font's average
// character width across, an eighth of its height down.

#include <QFont>
#include <QRect>

class QGroupBox;

namespace krt::app {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  DialogUnits(int baseWidth, int baseHeight) : base_width_(baseWidth), base_height_(baseHeight) {}

  int X(int units) const { return (units * base_width_ + 2) / 4; }
  int Y(int units) const { return (units * base_height_ + 4) / 8; }
  QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }

  int BaseWidth() const { return base_width_; }
  int BaseHeight() const { return base_height_; }

 private:
  int base_width_;
  int base_height_;
};

// Puts the title on the frame's top line, as dialog templates draw group
// boxes, so the frame fills the box's whole rectangle.
void StyleGroupBox(QGroupBox* box, const DialogUnits& units);

}  // namespace krt::app
