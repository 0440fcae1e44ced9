// starloom-level: converts, checks and batch-processes .level files from the command line.
//
// Drawing (`render`) needs Qt's GUI part, whose libraries take longer to load than a small level
// takes to read; that command is handed to starloom-level-render (beside this program in the build
// folder, in libexec/starloom-dx when installed), so that the others start without them.

#include "LevelTool.h"

#include "levelfile/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Runs starloom-level-render with `args`, its output and input this program's own; its exit code.
int runRenderProgram(const QStringList& args)
{
    const QString bin = QCoreApplication::applicationDirPath();
    const QString program = QStandardPaths::findExecutable(QStringLiteral("starloom-level-render"),
        {bin, QDir::cleanPath(bin + QStringLiteral("/" STARLOOM_HELPER_FROM_BIN))});
    if (program.isEmpty()) {
        std::fprintf(stderr, "starloom-level: cannot draw: starloom-level-render is not installed with %s\n",
            QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toLocal8Bit().constData());
        return 2;
    }
    std::fflush(stdout);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(program, args);
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1)) {
        std::fprintf(stderr, "starloom-level: cannot run %s: %s\n", program.toLocal8Bit().constData(),
            process.errorString().toLocal8Bit().constData());
        return 2;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList refused;
    const QStringList args = starloom::argumentsOf(argc, argv, &refused);
    for (const QString& name : refused)
        std::fprintf(stderr,
            "starloom-level: the argument \"%s\" is not valid UTF-8; file names must be, so that "
            "they reach the same file (rename the file)\n",
            name.toLatin1().constData());
    if (!refused.isEmpty())
        return 2;
    // A file named "render" is handed over too: the other program runs every command.
    if (std::any_of(argv + 1, argv + argc, [](const char* arg) { return std::strcmp(arg, "render") == 0; }))
        return runRenderProgram(args);
    starloom::ToolOutput output{stdout, stderr};
    return starloom::runLevelTool(args, output);
}
