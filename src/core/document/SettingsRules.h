#pragma once

#include "MapSettings.h"

#include <QString>

#include <vector>

namespace starloom {

// The rules a level's settings must meet before they are written, shared by "Done!" of the
// options window, Save Level and the tool's rewrite. The sizes and camera distances go into the
// level as typed, so they must be numbers as the game reads them back: no blanks inside, no "+"
// sign, no "d" exponent, finite.

// True when `text` (blanks around it allowed) is such a number.
bool isPlainNumber(const QString& text);

// The settings with a rule: SizeX, SizeY, SizeZ (positive numbers), CameraMin and CameraMax
// (numbers of 0 or more), captioned as the options window captions them.
struct RuledSetting {
    const char* caption;
    QString MapSettings::*field;
    bool positive; // else 0 or more
};
const std::vector<RuledSetting>& ruledSettings();
// The message when `text` breaks the rule of `setting`, naming it; empty when it is fine.
QString settingError(const RuledSetting& setting, const QString& text);

// The message for the first ruled setting that breaks its rule; empty when all are fine.
QString levelSettingsError(const MapSettings& settings);

// The message when the grid size is not a positive number; empty when it is.
QString gridSizeError(const QString& gridSize);

} // namespace starloom
