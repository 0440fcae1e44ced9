#pragma once

#include "views/Camera3D.h"

#include <QByteArray>
#include <QSize>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace starloom {

struct Level;

struct ToolOutput {
    std::FILE* out;
    std::FILE* err;
};

// How `render` draws: the two views, or (--3d) the level in perspective.
struct RenderOptions {
    QSize size{900, 800};
    bool threeD = false;
    std::optional<Camera3D> camera; // yaw, pitch and distance; the target is found
};

// Draws a loaded level into PNG bytes; empty when the image cannot be made. Drawing needs Qt's
// GUI part, which only the program that draws loads (the other commands start faster without it).
using LevelRenderer = QByteArray (*)(const Level& level, const RenderOptions& options);

// Runs one command of the tool; returns the process exit code. Without a renderer `render`
// fails.
int runLevelTool(const QStringList& args, ToolOutput output, LevelRenderer renderer = nullptr);

} // namespace starloom
