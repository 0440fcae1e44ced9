#pragma once

#include <string_view>

namespace starloom {

// The functions the game offers a level script (the item calls, the level-wide calls the editor
// writes and those real maps use). Calls of these are what a level is made of; every other call
// is the script's own business.
bool isKnownGameFunction(std::string_view name);

// A known game function, or a name the game's level functions are shaped like: "add", "set",
// "fog", "create" or "load" followed by a capital letter ("addSphere", "setBattleMusic"). The
// caller decides whether the script defines such a name itself.
bool isGameFunction(std::string_view name);

} // namespace starloom
