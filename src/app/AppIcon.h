#pragma once

#include <QImage>

namespace starloom {

// The program's icon, `size` x `size` pixels (size > 0): the bright star and its orbit threads
// cut square from the logo (makeLogo), so the window, the desktop entry and the about window
// show one drawing. The same every time.
QImage makeAppIcon(int size);

} // namespace starloom
