#pragma once

#include "MainWindow.h"
#include "MapView.h"

#include "app/SettingsStore.h"
#include "editing/EditorHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace starloom::test {

// Answers the editor's questions from a script and records the messages.
class ScriptedHost final : public EditorHost {
public:
    struct Message {
        QString text;
        QString title;
    };
    std::vector<Message> messages;
    std::deque<QString> saveNames;
    std::deque<QString> openNames;
    std::deque<std::optional<QString>> textAnswers;
    std::optional<std::int32_t> colour;
    SaveChoice saveChanges = SaveChoice::Discard;
    bool yes = false;

    void showMessage(const QString& text, const QString& title) override { messages.push_back({text, title}); }
    QString askSaveFileName(const QString&, const QString&) override { return take(saveNames); }
    QString askOpenFileName(const QString&) override { return take(openNames); }
    std::optional<QString> askText(const QString&, const QString&, const QString&) override
    {
        if (textAnswers.empty())
            return std::nullopt;
        auto answer = textAnswers.front();
        textAnswers.pop_front();
        return answer;
    }
    std::optional<std::int32_t> askColour(std::int32_t) override { return colour; }
    int saveChangesAsked = 0;
    SaveChoice askSaveChanges(const QString&) override
    {
        ++saveChangesAsked;
        return saveChanges;
    }
    bool askYesNo(const QString&, const QString&) override { return yes; }

private:
    static QString take(std::deque<QString>& names)
    {
        if (names.empty())
            return {};
        QString name = names.front();
        names.pop_front();
        return name;
    }
};

// The real main window on the offscreen platform, with settings in a temporary file and the
// built-in model lists.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<QSettingsStore>(settingsPath());
        window = std::make_unique<MainWindow>(*store, QString(), &host);
        window->resize(1000, 700);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Ticks are sent by the tests themselves.
        timer()->stop();
    }

    void TearDown() override { window.reset(); }

    QString settingsPath() const { return dir.filePath(QStringLiteral("settings.ini")); }

    template <class T = QWidget>
    T* find(const char* name) const
    {
        T* child = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    Editor& editor() { return window->editor(); }
    MapView* top() const { return find<MapView>("Picture1"); }
    MapView* front() const { return find<MapView>("picLeft"); }
    QTimer* timer() const { return find<QTimer>("Timer1"); }

    void click(const char* name) { QTest::mouseClick(find(name), Qt::LeftButton); }

    // The pixel of `view` at which the world point (x, y) lies, from the view's own scale.
    static QPoint pixelOf(const MapView* view, const ViewScale& scale, double x, double y)
    {
        const QPointF p = scale.toPixel(x, y, QSizeF(view->size()));
        return {static_cast<int>(p.x()), static_cast<int>(p.y())};
    }

    // A mouse move with the left button held, as the platform sends it during a drag.
    static void dragTo(QWidget* widget, QPoint pos)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }

    static void tick(QTimer* t) { QMetaObject::invokeMethod(t, "timeout"); }

    QTemporaryDir dir;
    std::unique_ptr<QSettingsStore> store;
    ScriptedHost host;
    std::unique_ptr<MainWindow> window;
};

inline bool isColour(const QImage& image, QPoint p, QColor colour)
{
    return image.rect().contains(p) && image.pixelColor(p) == colour;
}

// True when some pixel within `radius` of p has the colour (dotted lines and rounding).
inline bool hasColourNear(const QImage& image, QPoint p, QColor colour, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (isColour(image, p + QPoint(dx, dy), colour))
                return true;
    return false;
}

} // namespace starloom::test
