// starloom-icons FOLDER ID SIZE...: writes the program's icon as FOLDER/<n>x<n>/apps/ID.png for
// each size, the layout of a desktop icon theme. Run by the build (QT_QPA_PLATFORM=offscreen).

#include "AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: starloom-icons FOLDER ID SIZE...\n", stderr);
        return 2;
    }
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "starloom-icons: not a size: %s\n", qPrintable(args[i]));
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args[1]).arg(size);
        const QString file = folder + QLatin1Char('/') + args[2] + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !starloom::makeAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "starloom-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
