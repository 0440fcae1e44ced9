#pragma once

#include "../editing/EditorFixture.h"

#include "MainWindow.h"
#include "MapView.h"
#include "ObjectListModel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace starloom::test {

// The real main window (offscreen), with settings in a temporary file and scripted answers.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<QSettingsStore>(settingsPath());
        window = std::make_unique<MainWindow>(*store, QString(), &host);
        window->resize(1400, 900); // a top view of about 800 x 600 pixels
        // The map's dark colours, which the checks of painted pixels expect: a black map, a grey
        // grid, white marks.
        QPalette dark = top()->palette();
        dark.setColor(QPalette::Window, Qt::black);
        dark.setColor(QPalette::WindowText, Qt::white);
        top()->setPalette(dark);
        front()->setPalette(dark);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        timer()->stop(); // ticks are sent by the tests themselves
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("settings.ini")); }
    template <class T = QWidget> T* find(const char* name) const
    {
        T* child = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    Editor& editor() { return window->editor(); }
    MapView* top() const { return find<MapView>("Picture1"); }
    MapView* front() const { return find<MapView>("picLeft"); }
    QTimer* timer() const { return find<QTimer>("Timer1"); }
    QTreeView* list() const { return find<QTreeView>("lstObjects"); }
    ObjectListModel* listModel() const { return static_cast<ObjectListModel*>(list()->model()); }
    // The items listed, in every group.
    int listRows() const
    {
        int rows = 0;
        for (int group = 0; group < listModel()->rowCount(); ++group)
            rows += listModel()->rowCount(listModel()->index(group, 0));
        return rows;
    }
    // The list's cell of the editor's row `row`.
    QString listText(int row, int column = 0) const { return listModel()->indexOfRow(row, column).data().toString(); }
    // The editor's row of the list's current item, -1 for none or a group.
    int listCurrentRow() const { return listModel()->rowOf(list()->currentIndex()); }
    QString label(const char* name) const { return find<QLabel>(name)->text(); }
    void click(const char* name) { QTest::mouseClick(find(name), Qt::LeftButton); }
    void trigger(const char* action) { find<QAction>(action)->trigger(); }
    void clickTop(QPoint pixel, const char* option = nullptr)
    {
        if (option)
            click(option);
        QTest::mouseClick(top(), Qt::LeftButton, {}, pixel);
    }
    void clickListRow(int row, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(list()->viewport(), button, {}, list()->visualRect(listModel()->indexOfRow(row)).center());
    }
    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    // Saves a level holding the two player starts the default map needs; returns its path.
    QString saveTwoStartLevel(const char* fileName)
    {
        clickTop({100, 100}, "Option1");
        QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_Down);
        clickTop({300, 200});
        const QString path = dir.filePath(QString::fromLatin1(fileName));
        host.saveNames = {path};
        trigger("mnuFileSave");
        EXPECT_TRUE(QFile::exists(path));
        return path;
    }
    // The pixel of `view` at which the world point (x, y) lies, from the view's own scale.
    static QPoint pixelOf(const MapView* view, const ViewScale& scale, double x, double y)
    {
        const QPointF p = scale.toPixel(x, y, QSizeF(view->size()));
        return {static_cast<int>(p.x()), static_cast<int>(p.y())};
    }
    static void dragTo(QWidget* widget, QPoint pos, Qt::MouseButtons buttons = Qt::LeftButton,
        Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QMouseEvent move(
            QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)), Qt::NoButton, buttons, modifiers);
        QApplication::sendEvent(widget, &move);
    }
    static void tick(QTimer* t) { QMetaObject::invokeMethod(t, "timeout"); }

    QTemporaryDir dir;
    std::unique_ptr<QSettingsStore> store;
    ScriptedHost host;
    std::unique_ptr<MainWindow> window;
};

// True when some pixel within `radius` of p has the colour (dotted lines and rounding).
inline bool hasColourNear(const QImage& image, QPoint p, QColor colour, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.rect().contains(p + QPoint(dx, dy)) && image.pixelColor(p + QPoint(dx, dy)) == colour)
                return true;
    return false;
}

} // namespace starloom::test
