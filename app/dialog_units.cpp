#include "app/dialog_units.hpp"

#include <QFontMetrics>
#include <QGroupBox>
#include <algorithm>

namespace krt::app {
namespace {

// The average width of the 52 letters, rounded, as dialog templates measure it.
int AverageLetterWidth(const QFontMetrics& metrics) {
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return std::max(1, (width / 26 + 1) / 2);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  base_width_ = AverageLetterWidth(metrics);
  base_height_ = std::max(1, metrics.height());
}

void StyleGroupBox(QGroupBox* box, const DialogUnits& units) {
  box->setStyleSheet(
      QStringLiteral(
          "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: %1px; }"
          "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: %2px; padding: 0 %3px; }")
          .arg(box->fontMetrics().height() / 2)
          .arg(units.X(4))
          .arg(units.X(1)));
}

}  // namespace krt::app
