#pragma once

#include <QRect>

#include <cmath>

namespace starloom {

// Window layouts are designed in twips (1/1440 inch) and converted at the screen's logical
// resolution, so 15 twips make one pixel at 96 dpi.
inline int twipsToPixels(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

inline double pixelsToTwips(int pixels, double dpi)
{
    return dpi > 0 ? pixels * 1440.0 / dpi : 0.0;
}

inline QRect twipsRect(double left, double top, double width, double height, double dpi)
{
    return {twipsToPixels(left, dpi), twipsToPixels(top, dpi), twipsToPixels(width, dpi), twipsToPixels(height, dpi)};
}

} // namespace starloom
