#pragma once

#include <QString>

namespace geofluid::gui {

// Numbers on screen: fixed decimals, or three significant decimals in exponent form as the
// report prints molalities ("3.682E-02"). "-" for a value that is not finite.
QString Fixed(double v, int decimals);
QString Scientific(double v);

}  // namespace geofluid::gui
