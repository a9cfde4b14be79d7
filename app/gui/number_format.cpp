#include "number_format.h"

#include <cmath>

namespace geofluid::gui {

QString Fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "-";
  return QString::number(v, 'f', decimals);
}

QString Scientific(double v) {
  if (!std::isfinite(v)) return "-";
  return QString::number(v, 'E', 3);
}

}  // namespace geofluid::gui
