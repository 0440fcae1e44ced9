#include "AppIcon.h"
#include "AppInfo.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"

#include "document/MapSettings.h"

#include "gamedata/DataFileReader.h"
#include "gamedata/Environment.h"
#include "gamedata/GameSetup.h"
#include "gamedata/Registry.h"
#include "gamedata/SettingsStore.h"
#include "levelfile/SafeFile.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

const char* usageText = "Usage: starloom [FILE.level ...]\n"
                        "Opens the level editor's window and loads the levels named, one after the other.\n"
                        "\n"
                        "  --help      show this text\n"
                        "  --version   show the program's version\n"
                        "\n"
                        "Qt's own options (-platform NAME, -style STYLE, ...) are taken as well.\n";

// Answers --help and --version before any window exists, so that they work without a display.
// Returns the exit code, or -1 when the editor is to start.
int answerInfoOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", qPrintable(starloom::programTitle()));
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usageText, stdout);
            return 0;
        }
    }
    return -1;
}

} // namespace

// starloom [FILE.level ...]: the editor, with the levels named loaded one after the other.
int main(int argc, char** argv)
{
    if (const int code = answerInfoOption(argc, argv); code >= 0)
        return code;
    QGuiApplication::setDesktopFileName(QString::fromLatin1(starloom::appId));
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(starloom::makeAppIcon(128))));
    // The settings are kept under the executable's name, so the application name stays unset.
    starloom::QSettingsStore settings;
    // The game: the folder picked in the Preferences dialog, else the first found.
    const starloom::GameRun game =
        starloom::setUpGame(starloom::storedGameRequest(settings, QStringLiteral("the Preferences dialog")),
            starloom::SystemEnvironment(), starloom::SystemRegistry());
    starloom::MainWindow window(settings, game.catalogue);
    window.editor().setIncludeReader(starloom::dataFileReader(game.setup));
    window.editor().setGameMapLister(
        [setup = game.setup](const starloom::GameMapLimits& limits) { return starloom::listGameMaps(setup, limits); });
    window.showGameStatus(game.setup.statusText());
    window.preferencesDialog()->showGames(game.found, game.setup, settings);
    window.show();
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!dataDir.isEmpty() && QDir().mkpath(dataDir))
        window.useRecoveryFolder(dataDir);
    QStringList refused;
    const QStringList files = starloom::argumentsOf(argc, argv, &refused);
    for (const QString& name : refused)
        QMessageBox::warning(&window, window.windowTitle().remove(QStringLiteral("[*]")),
            QStringLiteral("The file name \"%1\" is not valid UTF-8, so it cannot be opened as named. "
                           "Rename the file.")
                .arg(name));
    window.openFiles(files);
    return app.exec();
}
