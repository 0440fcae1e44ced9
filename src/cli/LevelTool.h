#pragma once

#include <QStringList>

#include <cstdio>

namespace starloom {

struct ToolOutput {
    std::FILE* out;
    std::FILE* err;
};

// Runs one command of the tool; returns the process exit code.
int runLevelTool(const QStringList& args, ToolOutput output);

} // namespace starloom
