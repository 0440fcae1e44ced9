// starloom-level-render: starloom-level with drawing; starloom-level hands its `render` command here.

#include "LevelRender.h"
#include "LevelTool.h"

#include "levelfile/SafeFile.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    // Drawing needs the GUI part of Qt (fonts), but never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList refused;
    const QStringList args = starloom::argumentsOf(argc, argv, &refused);
    if (!refused.isEmpty())
        return 2;
    starloom::ToolOutput output{stdout, stderr};
    return starloom::runLevelTool(args, output, &starloom::renderLevelPng);
}
