#pragma once

#include "document/LevelDocument.h"
#include "document/MapSettings.h"

#include <QByteArray>

namespace starloom::bench {

// A level of `items` items spread over all nine kinds (six start points, the rest shared by the
// eight array kinds, each at most 32767), at pseudo-random positions in the default world.
void generateLevel(int items, LevelDocument& document, MapSettings& settings);

// The same level as .level text.
QByteArray generatedLevelText(int items);

} // namespace starloom::bench
