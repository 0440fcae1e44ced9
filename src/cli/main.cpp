// starloom-level: converts, checks and batch-processes .level files from the command line.

#include "LevelTool.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    starloom::ToolOutput output{stdout, stderr};
    return starloom::runLevelTool(args, output);
}
