#pragma once

#include "LevelTool.h"

namespace starloom {

// The `render` command's drawing: the top and front views side by side, or the 3-D view.
QByteArray renderLevelPng(const Level& level, const RenderOptions& options);

} // namespace starloom
