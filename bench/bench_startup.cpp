// Start-up of the main window to its first painted frame, offscreen, with no level or with the
// level named on the command line loaded as the editor loads it (`starloom-bench-startup [FILE]`).
// Prints the milliseconds from main() to the end of the first paint of the top view, the resident
// size then and the heap in use (kB), and exits.

#include "MainWindow.h"

#include "gamedata/SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <QFile>

#include <malloc.h>

#include <cstdio>
#include <functional>

namespace {

// The resident size of this process, from /proc (0 elsewhere).
long long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

class FirstPaint final : public QObject {
public:
    // `ready`: whether a paint now shows what is measured (the level's items, when one is named).
    FirstPaint(QElapsedTimer& clock, std::function<bool()> ready) : m_clock(clock), m_ready(std::move(ready)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen && m_ready()) {
            m_seen = true;
            // The paint runs after this filter returns; measure once the event is handled.
            QTimer::singleShot(0, [this] {
                const double ms = double(m_clock.nsecsElapsed()) / 1e6;
                std::printf("%.1f %lld %lld\n", ms, residentKb(), static_cast<long long>(mallinfo2().uordblks / 1024));
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return false;
    }

private:
    QElapsedTimer& m_clock;
    std::function<bool()> m_ready;
    bool m_seen = false;
};

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    starloom::QSettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
    starloom::MainWindow window(settings, QString());
    // A level named is loaded while the window shows; its first frame is the one measured.
    FirstPaint firstPaint(
        clock, [&window, argc] { return argc < 2 || window.editor().liveCount(starloom::ItemKind::Asteroid) > 0; });
    QWidget* top = window.findChild<QWidget*>(QStringLiteral("Picture1"));
    if (!top)
        return 1;
    top->installEventFilter(&firstPaint);
    window.show();
    if (argc > 1)
        window.openFiles({QString::fromLocal8Bit(argv[1])});
    return app.exec();
}
