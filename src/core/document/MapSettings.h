#pragma once

#include "KeptCall.h"
#include "PlayerTable.h"
#include "Version.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace starloom {

// "Star Loom Deluxe Edition v" and the version: the window caption and the application's title.
QString programTitle();

// The level-wide settings, held as the user typed them: sizes and camera distances are texts and
// become numbers only where the views need them. Background and music are the texts of editable
// lists: an entry of the list or any text read from a file or typed. With them, what else a level
// holds beyond its items: the player table, the calls the editor does not model, and its own
// level-wide lines as a file gave them.
struct MapSettings {
    QString levelDesc = QStringLiteral("NewMap");
    int playerIndex = 0; // selected entry of the player-count list ("2 Players" = 0); -1 none
    QString sizeX = QStringLiteral("30000");
    QString sizeY = QStringLiteral("30000");
    QString sizeZ = QStringLiteral("20000");
    QString cameraMin = QStringLiteral("5000");
    QString cameraMax = QStringLiteral("230000");
    QString background;
    QString music;
    PlayerTable players;
    std::vector<KeptCall> keptCalls; // in the order read; written after the editor's lines of their chunk
    FixedCalls fixedCalls;           // the editor's level-wide lines as the last file read gave them

    int playerCount() const { return playerIndex + 2; }
    bool operator==(const MapSettings&) const = default;
};

// The level description as a person reads it: the game's colour tags ("<c=0095D9>" and "</c>",
// which its menus draw in colour) left out, "Wings of War (Air Combat)". The description itself
// keeps them.
QString plainDescription(const QString& levelDesc);

inline constexpr int maxPlayerCount = 8;
const QStringList& playerCountEntries(); // "2 Players" ... "8 Players"
const QStringList& backgroundEntries();  // "m01" ... "m15"
const QStringList& musicEntries();       // 23 entries below "Data:sound/music/"
const QStringList& fontSizeEntries();    // " 2" ... " 12"

} // namespace starloom
