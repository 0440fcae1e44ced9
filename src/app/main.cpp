#include "MainWindow.h"

#include "app/GameFolder.h"
#include "app/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QStringList>

// starloom [FILE.level]: the editor, with the level loaded when one is named.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The settings are kept under the executable's name, so the application name stays unset.
    starloom::QSettingsStore settings;
    starloom::MainWindow window(settings, starloom::findGameFolder());
    window.show();
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!dataDir.isEmpty() && QDir().mkpath(dataDir))
        window.useRecoveryFile(QDir(dataDir).filePath(QStringLiteral("recovery.level")));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        window.loadFile(arguments.at(1));
    return app.exec();
}
