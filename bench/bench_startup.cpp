// Start-up of the main window to its first painted frame, offscreen. Prints the milliseconds from
// main() to the end of the first paint of the top view, and exits.

#include "MainWindow.h"

#include "gamedata/SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class FirstPaint final : public QObject {
public:
    explicit FirstPaint(QElapsedTimer& clock) : m_clock(clock) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // The paint runs after this filter returns; measure once the event is handled.
            QTimer::singleShot(0, [this] {
                std::printf("%.1f\n", double(m_clock.nsecsElapsed()) / 1e6);
                QApplication::quit();
            });
        }
        return false;
    }

private:
    QElapsedTimer& m_clock;
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
    FirstPaint firstPaint(clock);
    QWidget* top = window.findChild<QWidget*>(QStringLiteral("Picture1"));
    if (!top)
        return 1;
    top->installEventFilter(&firstPaint);
    window.show();
    return app.exec();
}
