#include "MainWindow.h"
#include "OptionsWindow.h"

#include "gamedata/DataFileReader.h"
#include "gamedata/Environment.h"
#include "gamedata/GameSetup.h"
#include "gamedata/Registry.h"
#include "gamedata/SettingsStore.h"
#include "levelfile/SafeFile.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringList>

// starloom [FILE.level ...]: the editor, with the levels named loaded one after the other.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The settings are kept under the executable's name, so the application name stays unset.
    starloom::QSettingsStore settings;
    // The game: the folder picked in the Options window, else the first found.
    QStringList lookupProblems;
    const std::vector<starloom::GameInstall> found =
        starloom::findGames(starloom::SystemEnvironment(), starloom::SystemRegistry(), &lookupProblems);
    starloom::GameSetup setup = starloom::chooseGame(settings.read(starloom::gameFolderKey, QString()),
        QStringLiteral("the Options window"), found, std::nullopt,
        settings.read(starloom::modFoldersKey, QString()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    const starloom::Catalogue catalogue = starloom::catalogueFor(setup);
    setup.problems = lookupProblems + setup.problems + catalogue.problems();
    starloom::MainWindow window(settings, catalogue);
    window.editor().setIncludeReader(starloom::dataFileReader(setup));
    window.showGameStatus(setup.statusText());
    window.optionsWindow()->showGames(found, setup, settings);
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
