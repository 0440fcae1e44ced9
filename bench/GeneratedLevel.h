#pragma once

#include "document/Level.h"

#include <QByteArray>

namespace starloom::bench {

// A level of `items` items spread over all nine kinds (six start points, the rest shared by the
// eight array kinds, each at most 32767), at pseudo-random positions in the default world. Its
// object list is left empty: the level is made to be written.
Level generatedLevel(int items);

// The same level as .level text.
QByteArray generatedLevelText(int items);

} // namespace starloom::bench
