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

// A level of the same shape whose items vary as in real maps: models drawn from the built-in
// lists with some names outside them, names, colours, sizes, resources, rotations and players of
// their own, some positions with decimals; its calls written the way map makers write them
// (tabs, no spaces after commas), which the reader takes the general way.
QByteArray variedLevelText(int items);

} // namespace starloom::bench
