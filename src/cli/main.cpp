// starloom-level: converts, checks and batch-processes .level files from the command line.

#include "LevelTool.h"

#include "levelfile/SafeFile.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    // Drawing needs the GUI part of Qt (fonts), but never a screen.
    bool draws = false;
    for (int i = 1; i < argc; ++i)
        draws = draws || std::strcmp(argv[i], "render") == 0;
    std::unique_ptr<QCoreApplication> app;
    if (draws) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QStringList refused;
    const QStringList args = starloom::argumentsOf(argc, argv, &refused);
    for (const QString& name : refused)
        std::fprintf(stderr,
            "starloom-level: the argument \"%s\" is not valid UTF-8; file names must be, so that "
            "they reach the same file (rename the file)\n",
            name.toLatin1().constData());
    if (!refused.isEmpty())
        return 2;
    starloom::ToolOutput output{stdout, stderr};
    return starloom::runLevelTool(args, output);
}
