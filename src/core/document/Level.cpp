#include "Level.h"

namespace starloom {

Level plainLevel()
{
    Level level;
    level.document.setPlayerColours();
    level.settings.background = backgroundEntries().first();
    level.settings.music = musicEntries().first();
    return level;
}

} // namespace starloom
