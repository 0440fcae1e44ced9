#include "GuiFixture.h"

#include "SplashWindow.h"

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeView>

namespace starloom::test {
namespace {

QStringList captionsOf(const QList<QAction*>& actions)
{
    QStringList captions;
    for (const QAction* a : actions)
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return captions;
}

using MainWindowTest = GuiTest;

TEST_F(MainWindowTest, CaptionIsTheProgramTitle)
{
    // "[*]" is where the platform puts its mark for unsaved changes.
    EXPECT_EQ(window->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("Star Loom Deluxe Edition v1.6"));
    EXPECT_EQ(window->objectName(), QStringLiteral("frmMain"));
}

TEST_F(MainWindowTest, MenuBarHoldsFileEditLabelsAndHelpInOrder)
{
    EXPECT_EQ(captionsOf(window->menuBar()->actions()),
              (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&Labels"),
                           QStringLiteral("&Help")}));
}

struct MenuCase {
    const char* menu;
    QStringList entries;
};

class MenuEntriesTest : public GuiTest, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuEntriesTest, EntriesInOrder)
{
    const MenuCase& c = GetParam();
    auto* menu = find<QMenu>(c.menu);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(captionsOf(menu->actions()), c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Menus, MenuEntriesTest,
    ::testing::Values(
        MenuCase{"mnuFile",
                 {"&Options", "-", "&New Level", "&Load Level", "&Save Level", "&Recent Levels", "-", "E&xit"}},
        MenuCase{"mnuEdit", {"Undo", "Redo"}},
        MenuCase{"mnuLabels",
                 {"&Hide All Labels", "-", "Show P&layer Starts", "Show &Asteroids", "Show &Clouds",
                  "Show &Dust Clouds", "Show &Megaliths", "Show &Nebulae", "Show &Pebbles",
                  "Show &Salvage Chunks", "Show Sh&ips"}},
        MenuCase{"mnuHelp", {"&About", "-", "Goto Website"}},
        MenuCase{"mnuObjects", {"Delete Object", "Set Player"}}));

TEST_F(MainWindowTest, ObjectsMenuIsNotInTheMenuBar)
{
    auto* objects = find<QMenu>("mnuObjects");
    ASSERT_NE(objects, nullptr);
    EXPECT_FALSE(window->menuBar()->actions().contains(objects->menuAction()));
}

TEST_F(MainWindowTest, PebbleLabelsStartHiddenAndTheLabelsMenuFollowsTheEditor)
{
    for (int typeId = 1; typeId <= 9; ++typeId) {
        auto* show = find<QAction>(QStringLiteral("mnuLabelsHide_%1").arg(typeId).toLatin1().constData());
        ASSERT_NE(show, nullptr);
        EXPECT_TRUE(show->isCheckable());
        EXPECT_EQ(show->isChecked(), typeId != 7) << typeId;
    }
    auto* hideAll = find<QAction>("mnuLabelsHideAll");
    hideAll->trigger();
    EXPECT_TRUE(hideAll->isChecked());
    EXPECT_FALSE(find<QAction>("mnuLabelsHide_2")->isChecked());
    EXPECT_FALSE(editor().labelShown(2));
    auto* showAsteroids = find<QAction>("mnuLabelsHide_2");
    showAsteroids->trigger();
    EXPECT_TRUE(showAsteroids->isChecked());
    EXPECT_TRUE(editor().labelShown(2));
}

TEST_F(MainWindowTest, ObjectListHasOneVisibleColumnAndTwoOfZeroWidth)
{
    auto* list = find<QTreeView>("lstObjects");
    ASSERT_NE(list, nullptr);
    const QAbstractItemModel* model = list->model();
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Objects on Map"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Type"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Index"));
    EXPECT_GT(list->header()->sectionSize(0), 0);
    EXPECT_EQ(list->header()->sectionSize(1), 0);
    EXPECT_EQ(list->header()->sectionSize(2), 0);
}

TEST_F(MainWindowTest, PanelStartsWithoutAKindAndShowsTheCloudFieldsWhenCloudsAreChosen)
{
    EXPECT_EQ(find<QGroupBox>("Frame1")->title(), QStringLiteral("Add Item"));
    EXPECT_EQ(find<QLabel>("Label4")->text(), QStringLiteral("Item Type"));
    EXPECT_TRUE(find("cmdApply")->isHidden());
    EXPECT_TRUE(find<QLabel>("Label7")->text().isEmpty());

    click("Option3");
    const char* captions[] = {"Red [0-255]", "Green [0-255]", "Blue [0-255]", "Size"};
    const char* defaults[] = {"128", "128", "128", "100"};
    for (int i = 0; i < 4; ++i) {
        auto* caption = find<QLabel>(QStringLiteral("Label1_%1").arg(i).toLatin1().constData());
        auto* field = find<QLineEdit>(QStringLiteral("Text1_%1").arg(i).toLatin1().constData());
        EXPECT_TRUE(caption->isVisible());
        EXPECT_EQ(caption->text(), QString::fromLatin1(captions[i]));
        EXPECT_TRUE(field->isVisible());
        EXPECT_EQ(field->text(), QString::fromLatin1(defaults[i]));
    }
    EXPECT_TRUE(find("cmdColourSelect")->isVisible());
    EXPECT_TRUE(find("cmdApply")->isVisible());
    EXPECT_TRUE(find("chkSetHeight")->isVisible());
    EXPECT_TRUE(find("txtRandomHeight")->isVisible());
    EXPECT_FALSE(find("txtCustomShip")->isVisible());
    EXPECT_EQ(find<QLabel>("Label7")->text(), QStringLiteral("Placement mode"));
    EXPECT_EQ(find<QComboBox>("Combo1")->currentText(), QStringLiteral("cloud_0"));
}

TEST_F(MainWindowTest, TypingIntoAFieldReachesTheEditor)
{
    click("Option2");
    auto* field = find<QLineEdit>("Text1_0");
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("55"));
    EXPECT_EQ(editor().field(0).text, QStringLiteral("55"));
}

TEST_F(MainWindowTest, ChoosingCustomShowsTheCustomNameBox)
{
    click("Option9");
    auto* models = find<QComboBox>("Combo1");
    const int custom = models->count() - 1;
    ASSERT_EQ(models->itemText(custom), QStringLiteral("Custom"));
    QTest::keyClick(models, Qt::Key_End);
    ASSERT_EQ(models->currentIndex(), custom);
    EXPECT_TRUE(find("txtCustomShip")->isVisible());
    EXPECT_EQ(find<QLabel>("Label5")->text(), QStringLiteral("Custom Ship"));
}

TEST_F(MainWindowTest, LayoutKeepsTheViewsBetweenTheListAndThePanel)
{
    for (const QSize size : {QSize(1000, 700), QSize(1300, 900), QSize(700, 500)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        const QRect list = find("lstObjects")->geometry();
        const QRect frame = find("Frame1")->geometry();
        const QRect topView = top()->geometry();
        const QRect frontView = front()->geometry();
        const QRect caption = find("Label2")->geometry();
        const QRect readout = find("lblLeftX")->geometry();
        const QWidget* client = window->centralWidget();
        EXPECT_LT(list.right(), topView.left()) << size.width();
        EXPECT_LT(topView.right(), frame.left()) << size.width();
        EXPECT_LE(frame.right(), client->width()) << size.width();
        EXPECT_EQ(frontView.width(), topView.width());
        EXPECT_EQ(frontView.left(), topView.left());
        EXPECT_LE(topView.bottom(), caption.top());
        EXPECT_LE(caption.bottom(), frontView.top());
        EXPECT_LE(frontView.bottom(), readout.top());
        EXPECT_LE(readout.bottom(), client->height()) << size.height();
        EXPECT_LE(list.bottom(), client->height()) << size.height();
        // The top view takes three quarters of the height, the front view one quarter.
        EXPECT_NEAR(double(topView.height() + 100) / double(frontView.height() + 1), 3.0, 0.8) << size.height();
    }
}

TEST_F(MainWindowTest, ANarrowWindowKeepsItsLayout)
{
    const QRect before = top()->geometry();
    window->resize(150, 600); // less than 3000 twips
    QCoreApplication::processEvents();
    EXPECT_EQ(top()->geometry(), before);
}

TEST_F(MainWindowTest, ResizingShowsTheWholeWorldAgain)
{
    click("cmdZoomIn");
    QTest::mouseClick(top(), Qt::LeftButton, {}, top()->rect().center());
    ASSERT_LT(editor().topScale().width(), 60000.0);
    window->resize(1100, 750);
    QCoreApplication::processEvents();
    EXPECT_EQ(editor().topScale().width(), 60000.0);
}

TEST_F(MainWindowTest, AboutShowsOneWindowWithVersionAndCredits)
{
    auto* about = find<QAction>("mnuHelpAbout");
    about->trigger();
    about->trigger();
    const auto splashes = window->findChildren<SplashWindow*>();
    ASSERT_EQ(splashes.size(), 1);
    SplashWindow* splash = splashes.front();
    EXPECT_EQ(splash->objectName(), QStringLiteral("frmSplash"));
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("v1.6"));
    const QStringList credits = splash->findChild<QLabel*>(QStringLiteral("Label1"))->text().split(QLatin1Char('\n'));
    ASSERT_EQ(credits.size(), 3);
    EXPECT_EQ(credits[1], QStringLiteral("Thanks to:"));

    auto* close = splash->findChild<QPushButton*>(QStringLiteral("cmdClose"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), QStringLiteral("Close"));
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(splash->isVisible());
    about->trigger();
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(window->findChildren<SplashWindow*>().size(), 1);
}

TEST_F(MainWindowTest, LogoIsAPictureOfTheDesignedSize)
{
    const QImage logo = makeLogo();
    EXPECT_EQ(logo.size(), QSize(468, 200));
    // Not a blank picture: the name is drawn in light colours over a dark sky.
    EXPECT_LT(qGray(logo.pixel(5, 195)), 80);
    int light = 0;
    for (int x = 150; x < 400; ++x)
        light += qGray(logo.pixel(x, 35)) > 150 ? 1 : 0;
    EXPECT_GT(light, 10);
}

TEST_F(MainWindowTest, LevelNamedAtStartIsLoaded)
{
    // Save a two-player level laid out with the mouse, then load it into an empty level.
    click("Option1");
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(100, 100));
    auto* models = find<QComboBox>("Combo1");
    QTest::keyClick(models, Qt::Key_Down);
    ASSERT_EQ(editor().modelText(), QStringLiteral("Player 2"));
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(300, 200));
    ASSERT_EQ(editor().rows().size(), 2u);
    const QString path = dir.filePath(QStringLiteral("two.level"));
    host.saveNames.push_back(path);
    find<QAction>("mnuFileSave")->trigger();
    ASSERT_TRUE(QFile::exists(path));
    find<QAction>("mnuFileNew")->trigger();
    ASSERT_TRUE(editor().rows().empty());
    EXPECT_EQ(find<QTreeView>("lstObjects")->model()->rowCount(), 0);

    EXPECT_TRUE(window->loadFile(path));
    EXPECT_EQ(editor().rows().size(), 2u);
    EXPECT_EQ(find<QTreeView>("lstObjects")->model()->rowCount(), 2);
    EXPECT_EQ(find<QTreeView>("lstObjects")->model()->index(1, 0).data().toString(), QStringLiteral("Player 2 start"));
    // The open dialog was not asked.
    EXPECT_TRUE(host.openNames.empty());
}

} // namespace
} // namespace starloom::test
