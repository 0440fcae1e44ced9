#include "MainWindow.h"

#include "gamedata/GameFolder.h"
#include "gamedata/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QStringList>

// starloom [FILE.level ...]: the editor, with the levels named loaded one after the other.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The settings are kept under the executable's name, so the application name stays unset.
    starloom::QSettingsStore settings;
    starloom::MainWindow window(settings, starloom::findGameFolder());
    window.show();
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!dataDir.isEmpty() && QDir().mkpath(dataDir))
        window.useRecoveryFile(QDir(dataDir).filePath(QStringLiteral("recovery.level")));
    const QStringList arguments = QCoreApplication::arguments();
    for (const QString& file : arguments.mid(1))
        window.loadFile(file);
    return app.exec();
}
