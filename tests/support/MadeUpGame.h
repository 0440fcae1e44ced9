#pragma once

// A made-up game folder for tests of the game's own maps: loose maps in Data/LevelData/Multiplayer
// and an archive Data/Homeworld2.big holding maps compiled with Lua 4.0's luac40 (as the game
// ships them; text when the compiler is absent), an include they read, and files that are not
// multiplayer maps.

#include <QString>

namespace starloom::test {

// Writes the game below `gameFolder` (its Data folder and archive). Returns "" when the archive's
// maps are compiled, else why they are text.
//   loose:   LevelData/Multiplayer/Deathmatch/2P_Loose.level     maxPlayers 2, "Loose pair"
//            LevelData/Multiplayer/Deathmatch/Shadow.level       maxPlayers 3, "Loose shadow"
//   archive: leveldata\multiplayer\deathmatch\shadow.level       hidden by the loose one
//            leveldata\multiplayer\deathmatch\4p_compiled.level  maxPlayers 4, "Compiled four"
//                                                                (its description from scripts\desc.lua)
//            leveldata\multiplayer\broken.level                  maxPlayers 5, then an error
//            leveldata\campaign\m01.level, leveldata\multiplayer\notes.txt: not maps
QString writeMadeUpGame(const QString& gameFolder);

// The calls the compiled four-player map makes (DetermChunk): four start points.
inline constexpr int madeUpCompiledStartPoints = 4;

} // namespace starloom::test
