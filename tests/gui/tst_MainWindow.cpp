#include "GuiFixture.h"

#include <QListView>

#include <QToolButton>

#include <QSplitter>

#include <QDockWidget>

#include "OptionsWindow.h"
#include "PreferencesDialog.h"
#include "SplashWindow.h"
#include "TestSupport.h"

#include <QHeaderView>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>

#include <cstring>

namespace starloom::test {
namespace {

QString captionsOf(const QList<QAction*>& actions)
{
    QStringList captions;
    for (const QAction* a : actions)
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return captions.join(u'|');
}

using MainWindowTest = GuiTest;

TEST_F(MainWindowTest, TheCaptionStandsAboveTheMenusInOrder)
{
    EXPECT_EQ(window->windowTitle().remove(QStringLiteral("[*]")),
        QStringLiteral("Star Loom Deluxe Edition v") + QLatin1String(versionText)); // [*]: unsaved mark
    EXPECT_EQ(captionsOf(window->menuBar()->actions()), QStringLiteral("&File|&Edit|&Labels|&View|&Help"));
    const std::pair<const char*, const char*> menus[] = {
        {"mnuFile",
            "&Level Settings...|&Preferences...|-|&New Level|&Open Level...|Open from &Game...|&Load Level|&Save|&Save "
            "Level|&Recent "
            "Levels|-|E&xit"},
        {"mnuEdit",
            "Undo|Redo|-|Cu&t|&Copy|&Paste|&Duplicate|De&lete|-|Select &All|Select &None|-|&Mirror|&Flip|"
            "&Rotate Copies|Make S&ymmetric|-|S&nap to Grid|M&easure"},
        {"mnuView",
            "&3-D View|-|Frame &All|Frame &Selection|-|&Top|&Front|Si&de|-|Zoom to &Fit|&Zoom to Selection|"
            "Stretch to F&ill|-|&Panels|&Reset Layout"},
        {"mnuViewPanels", "&Objects|P&roperties|&History|&Checks|&Tool Bar"}, {"mnuHelp", "&About|-|Goto Website"},
        {"mnuObjects", "Delete Object|Set Player"},
        {"mnuLabels",
            "&Hide All Labels|-|Show P&layer Starts|Show &Asteroids|Show &Clouds|Show &Dust Clouds|Show &Megaliths|"
            "Show &Nebulae|Show &Pebbles|Show &Salvage Chunks|Show Sh&ips|-|Draw Clouds as &Discs|"
            "&Thin Out Crowded Labels"}};
    for (const auto& [name, entries] : menus)
        EXPECT_EQ(captionsOf(find<QMenu>(name)->actions()).toStdString(), entries) << name;
    EXPECT_FALSE(window->menuBar()->actions().contains(find<QMenu>("mnuObjects")->menuAction())) << "a pop-up only";
}

TEST_F(MainWindowTest, TheLabelsMenuFollowsTheEditorWithPebbleLabelsHiddenAtFirst)
{
    auto checked = [&](const char* action) { return find<QAction>(action)->isChecked(); };
    EXPECT_TRUE(checked("mnuLabelsHide_2"));
    EXPECT_TRUE(checked("mnuLabelsHide_9"));
    EXPECT_FALSE(checked("mnuLabelsHide_7"));
    trigger("mnuLabelsHideAll");
    EXPECT_TRUE(checked("mnuLabelsHideAll"));
    EXPECT_FALSE(checked("mnuLabelsHide_2"));
    EXPECT_FALSE(editor().labelShown(2));
    trigger("mnuLabelsHide_2");
    EXPECT_TRUE(checked("mnuLabelsHide_2"));
    EXPECT_TRUE(editor().labelShown(2));
}

TEST_F(MainWindowTest, ThePanelFieldsFollowTheKindBesideAOneColumnObjectList)
{
    EXPECT_EQ(list()->model()->columnCount(), 5);
    EXPECT_EQ(list()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Objects on Map"));
    EXPECT_GT(list()->header()->sectionSize(0), 0);
    EXPECT_EQ(list()->header()->sectionSize(1), 0);
    EXPECT_EQ(list()->header()->sectionSize(2), 0);
    EXPECT_TRUE(find("cmdApply")->isHidden());
    click("Option3");
    EXPECT_TRUE(find("Text1_3")->isVisible());
    EXPECT_TRUE(find("cmdColourSelect")->isVisible());
    EXPECT_FALSE(find("txtCustomShip")->isVisible());
    EXPECT_EQ(label("Label1_3") + find<QLineEdit>("Text1_3")->text() + label("Label7"),
        QStringLiteral("Size (world units)100Placement mode"));
    click("Option9");
    QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_End); // "Custom"
    EXPECT_TRUE(find("txtCustomShip")->isVisible());
}

// What a view paints, without the widgets over it (the hint of an empty level).
QImage viewImage(QWidget* view)
{
    QImage image(view->size(), QImage::Format_ARGB32);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

// Where a widget lies in the window.
QRect inWindow(const QWidget* w, const QWidget* window)
{
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

TEST_F(MainWindowTest, TheViewsFillTheMiddleBetweenTheListAndThePanel)
{
    click("cmdZoomIn");
    clickTop(top()->rect().center());
    const ViewScale zoomed = editor().topScale();
    ASSERT_LT(zoomed.width(), 60000.0);
    for (const QSize size : {QSize(1300, 900), QSize(900, 600)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        const QRect listBox = inWindow(find("dockObjects"), window.get()),
                    panel = inWindow(find("dockProperties"), window.get()), topView = inWindow(top(), window.get()),
                    frontView = inWindow(front(), window.get());
        EXPECT_LT(listBox.right(), topView.left()) << size.width();
        EXPECT_LT(topView.right(), panel.left()) << size.width();
        EXPECT_LE(panel.right(), window->width()) << size.width();
        EXPECT_EQ(frontView.left(), topView.left()) << size.width();
        EXPECT_EQ(frontView.width(), topView.width()) << size.width();
        EXPECT_LT(topView.bottom(), frontView.top()) << size.width();
        EXPECT_GT(topView.height(), frontView.height()) << "most of the height to the top view";
        EXPECT_EQ(editor().topScale(), zoomed) << "a resize keeps the zoom";
    }
}

TEST_F(MainWindowTest, TheSmallestWindowKeepsEveryViewAndPanelUsable)
{
    for (const bool withDock : {false, true}) { // and with the 3-D view shown
        if (withDock)
            trigger("mnuView3D");
        find("dockChecks")->show();
        window->resize(100, 100);
        QCoreApplication::processEvents();
        ASSERT_EQ(window->size(), window->minimumSize());
        QStringList faults;
        const char* areas[] = {"dockObjects", "dockProperties", "dockChecks", "frmMainClient"};
        for (const char* a : areas) {
            const QWidget* w = find(a);
            if (w->isVisible() && (w->width() < 60 || w->height() < 40))
                faults << QStringLiteral("%1 is %2 x %3").arg(QLatin1String(a)).arg(w->width()).arg(w->height());
            for (const char* b : areas)
                if (std::strcmp(a, b) < 0 && find(a)->isVisible() && find(b)->isVisible()
                    && inWindow(find(a), window.get()).intersects(inWindow(find(b), window.get())))
                    faults << QStringLiteral("%1 covers %2").arg(QLatin1String(a), QLatin1String(b));
        }
        EXPECT_TRUE(faults.isEmpty()) << withDock << ": " << faults.join(QStringLiteral(", ")).toStdString();
        EXPECT_GE(top()->height(), top()->minimumHeight()) << withDock;
        EXPECT_GE(top()->width(), top()->minimumWidth()) << withDock;
        EXPECT_GE(front()->height(), front()->minimumHeight()) << withDock;
    }
}

TEST_F(MainWindowTest, TheArrangementComesBackAfterARestart)
{
    window->resize(1100, 800);
    find<QDockWidget>("dockObjects")->hide();
    window->addDockWidget(Qt::LeftDockWidgetArea, find<QDockWidget>("dockProperties"));
    find<QDockWidget>("dockHistory")->show();
    QCoreApplication::processEvents();
    const QList<int> split = find<QSplitter>("splitViews")->sizes();
    window.reset(); // as the program ends
    window = std::make_unique<MainWindow>(*store, QString(), &host);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->size(), QSize(1100, 800));
    EXPECT_TRUE(find("dockObjects")->isHidden());
    EXPECT_TRUE(find("dockHistory")->isVisible());
    EXPECT_EQ(window->dockWidgetArea(find<QDockWidget>("dockProperties")), Qt::LeftDockWidgetArea);
    EXPECT_EQ(find<QSplitter>("splitViews")->sizes(), split);
    trigger("mnuViewResetLayout");
    EXPECT_TRUE(find("dockObjects")->isVisible());
    EXPECT_TRUE(find("dockHistory")->isHidden());
    EXPECT_EQ(window->dockWidgetArea(find<QDockWidget>("dockProperties")), Qt::RightDockWidgetArea);
}

TEST_F(MainWindowTest, AClickInTheHistoryGoesBackToThatStep)
{
    for (const int x : {1000, 2000, 3000})
        editor().chooseKind(ItemKind::Asteroid), editor().moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(x, 0)),
            editor().clickTopView();
    window->refresh();
    ASSERT_EQ(editor().rows().size(), 3u);
    find("dockHistory")->show();
    auto* history = find<QListView>("lstHistory");
    QCoreApplication::processEvents();
    // Row 0 is the level as opened; row 1 the first placement.
    QTest::mouseClick(
        history->viewport(), Qt::LeftButton, {}, history->visualRect(history->model()->index(1, 0)).center());
    EXPECT_EQ(editor().rows().size(), 1u);
    EXPECT_EQ(listRows(), 1) << "the window follows the jump";
    QTest::mouseClick(
        history->viewport(), Qt::LeftButton, {}, history->visualRect(history->model()->index(3, 0)).center());
    EXPECT_EQ(editor().rows().size(), 3u);
}

TEST_F(MainWindowTest, AnEmptyLevelShowsHowToBeginUntilTheFirstEdit)
{
    QWidget* hint = find("frmStartHint");
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(top()->rect().contains(hint->geometry())) << "inside the top view";
    click("cmdHintLayout_4");
    EXPECT_FALSE(hint->isVisible());
    EXPECT_EQ(editor().rows().size(), 4u);
    EXPECT_EQ(editor().mapSettings().playerCount(), 4);
    trigger("mnuFileNew");
    EXPECT_TRUE(hint->isVisible()) << "a new empty level shows it again";
    clickTop({100, 100}, "Option2");
    EXPECT_FALSE(hint->isVisible()) << "gone at the first edit";
}

TEST_F(MainWindowTest, TheViewMenuZoomsToTheSelectionOrTheWorld)
{
    clickTop(top()->rect().center(), "Option2");
    editor().setSelection({0});
    const ViewScale whole = editor().topScale();
    trigger("mnuViewZoomSelection");
    EXPECT_LT(editor().topScale().width(), whole.width());
    trigger("mnuViewZoomFit");
    EXPECT_EQ(editor().topScale().width(), whole.width());
}

TEST_F(MainWindowTest, StretchToFillIsACheckedEntryOfTheViewMenu)
{
    EXPECT_FALSE(find<QAction>("mnuViewStretch")->isChecked());
    trigger("mnuViewStretch");
    EXPECT_TRUE(editor().stretchToFill());
    EXPECT_TRUE(find<QAction>("mnuViewStretch")->isChecked());
}

TEST_F(MainWindowTest, EveryToolIsChosenByItsButtonOrItsKey)
{
    const std::tuple<const char*, Qt::Key, ToolKind, Qt::CursorShape> tools[] = {
        {"cmdPlace", Qt::Key_P, ToolKind::Place, Qt::CrossCursor},
        {"cmdMeasure", Qt::Key_M, ToolKind::Measure, Qt::CrossCursor},
        {"cmdZoomIn", Qt::Key_Z, ToolKind::Zoom, Qt::CrossCursor},
        {"cmdPan", Qt::Key_H, ToolKind::Pan, Qt::OpenHandCursor},
        {"cmdSelect", Qt::Key_V, ToolKind::Select, Qt::ArrowCursor},
    };
    for (const auto& [button, key, tool, cursor] : tools) {
        click(button);
        EXPECT_EQ(editor().activeTool(), tool) << button;
        EXPECT_TRUE(find<QToolButton>(button)->isChecked()) << button;
        EXPECT_EQ(top()->cursor().shape(), cursor) << button;
        editor().chooseTool(tool == ToolKind::Select ? ToolKind::Place : ToolKind::Select);
        window->refresh();
        QTest::keyClick(top(), key);
        EXPECT_EQ(editor().activeTool(), tool) << button << " by its key";
    }
}

TEST_F(MainWindowTest, EscapeReturnsToTheSelectTool)
{
    QTest::keyClick(top(), Qt::Key_M);
    QTest::keyClick(top(), Qt::Key_Escape);
    EXPECT_EQ(editor().activeTool(), ToolKind::Select) << "Escape returns to Select";
    EXPECT_EQ(label("Label7"), QStringLiteral("Select mode"));
}

// The texts of the visible labels and buttons of `root` that do not fit their widgets, and the
// widgets of the status bar that overlap.
QStringList cutOffTexts(const QWidget* root)
{
    QStringList faults;
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible() || qobject_cast<const QAbstractItemView*>(w->parentWidget()))
            continue;
        const QFontMetrics metrics = w->fontMetrics();
        QString text;
        int needed = 0;
        if (const auto* label = qobject_cast<const QLabel*>(w); label && !label->wordWrap()) {
            text = label->text();
            needed = metrics.horizontalAdvance(text) + 2 * label->margin();
            if (metrics.height() > label->contentsRect().height())
                faults << QStringLiteral("%1 \"%2\" is cut off below").arg(w->objectName(), text);
            if (needed > label->contentsRect().width())
                faults << QStringLiteral("%1 \"%2\" is cut off (%3 > %4)")
                              .arg(w->objectName(), text)
                              .arg(needed)
                              .arg(label->contentsRect().width());
            continue;
        }
        // A button whose text is wider than the room its style draws it in, or lower than the
        // least height its style asks for, cuts the text off.
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            text = button->text().remove(u'&');
            if (text.isEmpty())
                continue;
            QStyleOptionButton option;
            option.initFrom(w);
            option.text = text;
            const QStyle::SubElement contents = qobject_cast<const QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                : qobject_cast<const QRadioButton*>(w)                            ? QStyle::SE_RadioButtonContents
                                                                                  : QStyle::SE_PushButtonContents;
            const QRect room = w->style()->subElementRect(contents, &option, w);
            needed = metrics.horizontalAdvance(text);
            if (needed > room.width() || w->height() < w->minimumSizeHint().height())
                faults << QStringLiteral("%1 \"%2\" is cut off (%3 x %4 in %5 x %6)")
                              .arg(w->objectName(), text)
                              .arg(needed)
                              .arg(w->minimumSizeHint().height())
                              .arg(room.width())
                              .arg(w->height());
        }
    }
    if (const auto* window = qobject_cast<const QMainWindow*>(root)) {
        QList<const QWidget*> fields;
        for (const QWidget* w : window->statusBar()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isVisible() && !w->geometry().isEmpty())
                fields << w;
        for (qsizetype i = 0; i < fields.size(); ++i)
            for (qsizetype j = i + 1; j < fields.size(); ++j)
                if (fields[i]->geometry().intersects(fields[j]->geometry()))
                    faults << fields[i]->objectName() + QStringLiteral(" overlaps ") + fields[j]->objectName();
    }
    return faults;
}

// Run at 96 dpi with the suite and at 144 dpi by the ctest "gui_text_fits_at_144_dpi".
class TextFitsTest : public GuiTest {};

TEST_F(TextFitsTest, NoTextIsCutOffInTheSmallestWindowWithEveryFieldFilled)
{
    // Items of every kind, two selected (the selection's count, the measured distance), a grid
    // fine enough to be thinned out, the pointer's place, and the Checks panel open.
    const QString path = dir.filePath(QStringLiteral("full.level"));
    QByteArray body = "maxPlayers = 2\nfunction DetermChunk()\n"
                      "  addPoint(\"StartPos0\", {-1000000, 0, -1000000}, {0, 0, 0})\n"
                      "  addPoint(\"StartPos1\", {1000000, 0, 1000000}, {0, 0, 0})\n";
    for (int i = 0; i < 300; ++i)
        body += "  addAsteroid(\"NoSuchRock\", {" + QByteArray::number(i * 100) + ", 40000, 0}, 100, 0, 0, 0, 0)\n"
            + "  addPebble(\"pebble_0\", {0, " + QByteArray::number(i) + ", 0}, 0, 0, 0)\n";
    body += "  addCloud(\"c\", \"cloud_0\", {0, 0, 0}, {1, 1, 1, 1}, 0, 100)\n"
            "  addDustCloud(\"d\", \"dustcloud_0\", {0, 0, 0}, {1, 1, 1, 1}, 0, 100)\n"
            "  addNebula(\"n\", \"M05_nores\", {0, 0, 0}, {1, 1, 1, 1}, 0, 100)\n"
            "  addSalvage(\"Salvage_Chunk_1\", {0, 0, 0}, 100, 0, 0, 0, 0)\n"
            "  addSquadron(\"m\", \"meg_balcoragate\", {0, 0, 0}, -1, {0, 0, 0}, 0, 0)\n"
            "  addSquadron(\"s\", \"kus_scout\", {0, 0, 0}, 0, {0, 0, 0}, 0, 0)\n"
            "  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\nend\n";
    writeBytes(path, body);
    ASSERT_TRUE(window->loadFile(path));
    editor().setGridSize(QStringLiteral("10"));
    ASSERT_TRUE(editor().acceptOptions());
    editor().moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(-999999, -999999));
    editor().setSelection({0, 1});
    find("dockChecks")->show();
    window->refresh();
    window->resize(100, 100);
    QCoreApplication::processEvents();
    ASSERT_EQ(window->size(), window->minimumSize());
    EXPECT_TRUE(find("lblSelectionCount")->isVisible());
    QStringList faults = cutOffTexts(window.get());
    // The open panel takes no room from the controls.
    auto outside = [this] {
        QStringList out;
        const QWidget* frame = find("Frame1");
        for (const QWidget* w : frame->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isVisible() && !frame->rect().contains(w->geometry()))
                out << w->objectName() + QStringLiteral(" lies outside the panel");
        return out;
    };
    faults += outside();
    // The panel of every kind, placing and editing, with the most controls each shows.
    for (int kind = 1; kind <= 9; ++kind) {
        click(QStringLiteral("Option%1").arg(kind).toLatin1().constData());
        QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_End);
        QCoreApplication::processEvents(); // the panel's layout takes in the fields shown
        faults += cutOffTexts(find("Frame1")) + outside();
    }
    clickListRow(0);
    QCoreApplication::processEvents();
    faults += cutOffTexts(find("Frame1")) + outside();
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n")).toStdString();
}

TEST_F(TextFitsTest, NoTextIsCutOffInTheLevelSettingsDialog)
{
    trigger("mnuFileGlobals");
    auto* options = window->findChild<QWidget*>(QStringLiteral("frmGlobals"));
    ASSERT_TRUE(options && options->isVisible());
    // With every field marked, the reasons shown under them.
    for (const char* name : {"txtSizeX", "txtSizeY", "txtSizeZ", "Text7", "Text8"})
        retype(options->findChild<QLineEdit*>(QLatin1String(name)), QStringLiteral("x"));
    QCoreApplication::processEvents();
    const QStringList faults = cutOffTexts(options);
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n")).toStdString();
}

TEST_F(TextFitsTest, NoTextIsCutOffInThePreferencesDialog)
{
    trigger("mnuFilePreferences");
    auto* preferences = window->findChild<QWidget*>(QStringLiteral("frmPreferences"));
    ASSERT_TRUE(preferences && preferences->isVisible());
    QCoreApplication::processEvents();
    const QStringList faults = cutOffTexts(preferences);
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n")).toStdString();
}

TEST_F(MainWindowTest, AboutShowsOneSplashWindowWithTheVersion)
{
    trigger("mnuHelpAbout");
    trigger("mnuHelpAbout");
    ASSERT_EQ(window->findChildren<SplashWindow*>().size(), 1);
    SplashWindow* splash = window->findChildren<SplashWindow*>().front();
    EXPECT_EQ(
        splash->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("v") + QLatin1String(versionText));
    QTest::mouseClick(splash->findChild<QPushButton*>(QStringLiteral("cmdClose")), Qt::LeftButton);
    EXPECT_FALSE(splash->isVisible());
}

const QColor grid(100, 100, 100), white(255, 255, 255), red(255, 0, 0);

class OptionsTest : public GuiTest {
protected:
    OptionsWindow* openOptions()
    {
        return trigger("mnuFileGlobals"), window->findChild<OptionsWindow*>(QStringLiteral("frmGlobals"));
    }
    template <class T = QLineEdit> T* in(const char* name) const
    {
        return window->findChild<OptionsWindow*>(QStringLiteral("frmGlobals"))
            ->findChild<T*>(QString::fromLatin1(name));
    }
    // A level of `players` players, each with its start point.
    static QByteArray levelOfPlayers(int players)
    {
        QByteArray text = "maxPlayers = " + QByteArray::number(players) + "\nfunction DetermChunk()\n";
        for (int i = 0; i < players; ++i)
            text += "  addPoint(\"StartPos" + QByteArray::number(i) + "\", {" + QByteArray::number(i * 1000)
                + ", 0, 0}, {0, 0, 0})\n";
        return text + "end\n";
    }
    PreferencesDialog* openPreferences()
    {
        return trigger("mnuFilePreferences"), window->findChild<PreferencesDialog*>(QStringLiteral("frmPreferences"));
    }
    template <class T = QLineEdit> T* pref(const char* name) const
    {
        return window->findChild<PreferencesDialog*>(QStringLiteral("frmPreferences"))
            ->findChild<T*>(QString::fromLatin1(name));
    }
    // Writes a level file into the test's folder and loads it.
    void loadLevel(const char* name, const QByteArray& text)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeBytes(path, text);
        ASSERT_TRUE(editor().loadFile(path));
    }
    QString stored(const char* key) const
    {
        return QSettings(settingsPath(), QSettings::IniFormat).value(QLatin1String(key)).toString();
    }
    // Whether a dotted vertical grid line runs through the top view at world x: grey in more than a quarter of the
    // rows.
    bool gridColumnAt(double x)
    {
        const QImage image = viewImage(top());
        const int px = pixelOf(top(), editor().topScale(), x, 0).x();
        int grey[3] = {};
        for (int y = 0; y < image.height(); ++y)
            for (int i = 0; i < 3; ++i)
                grey[i] += image.pixelColor(px - 1 + i, y) == grid;
        return *std::max_element(grey, grey + 3) > image.height() / 4;
    }
};
using PaintingTest = OptionsTest;

TEST_F(OptionsTest, WhatALevelHoldsBeyondTheFieldsIsShownEditable)
{
    loadLevel("kept.level",
        "maxPlayers = 3\nplayer = {}\nplayer[0] = {id = 0, name = \"Red\", resources = 750, raceName = \"Vaygr\", "
        "startPos = 1}\nfunction NonDetermChunk()\n  fogSetType(\"linear\")\n  setBattleMusic(\"b\")\nend\n");
    OptionsWindow* options = openOptions();
    ASSERT_NE(options, nullptr);
    auto* table = in<QTableWidget>("tblPlayers");
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 1)->text() + u'|' + table->item(0, 2)->text() + u'|' + table->item(0, 3)->text(),
        QStringLiteral("Red|Vaygr|750"));
    EXPECT_EQ(table->item(2, 0)->text(), QStringLiteral("Player 3"));
    table->item(1, 3)->setText(QStringLiteral("20000"));
    EXPECT_EQ(editor().mapSettings().players.text(1, PlayerTable::Field::Resources), QStringLiteral("20000"));
    table->item(1, 3)->setText(QStringLiteral("lots"));
    EXPECT_EQ(table->item(1, 3)->text(), QStringLiteral("20000")) << "a refused value goes back to the one stored";
    EXPECT_EQ(in<QLabel>("lblKeptCalls")->text(), QStringLiteral("Calls kept as the file gave them: 2"));
    EXPECT_EQ(
        in<QListWidget>("lstKeptCalls")->item(1)->text(), QStringLiteral("NonDetermChunk: setBattleMusic(\"b\")"));
}

TEST_F(OptionsTest, TheRaceIsChosenOrTypedWithAnUnknownOneAChecksWarning)
{
    loadLevel("races.level",
        "maxPlayers = 2\nplayer = {}\nplayer[0] = {id = 0, name = \"Red\", resources = 750, raceName = \"Vaygr\", "
        "startPos = 1}\n");
    openOptions();
    auto* table = in<QTableWidget>("tblPlayers");
    // In the form the entry names its race: raceName for the file's player, raceID for the standard one.
    const std::pair<int, QStringList> offered[] = {
        {0, {QStringLiteral("Hiigaran"), QStringLiteral("Vaygr")}}, {1, {QStringLiteral("1"), QStringLiteral("2")}}};
    for (const auto& [slot, races] : offered) {
        table->editItem(table->item(slot, 2));
        auto* race = table->findChild<QComboBox*>(QStringLiteral("cmbRace"));
        ASSERT_NE(race, nullptr);
        QStringList items;
        for (int i = 0; i < race->count(); ++i)
            items << race->itemText(i);
        EXPECT_EQ(items, races) << slot;
        EXPECT_TRUE(race->isEditable()) << "a mod's own race can be typed";
        race->setEditText(slot == 0 ? QStringLiteral("Hiigaran") : QStringLiteral("abc"));
        QAbstractItemDelegate* delegate = table->itemDelegateForColumn(2);
        Q_EMIT delegate->commitData(race);
        Q_EMIT delegate->closeEditor(race);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(editor().mapSettings().players.text(0, PlayerTable::Field::Race), QStringLiteral("Hiigaran"));
    EXPECT_EQ(editor().mapSettings().players.text(1, PlayerTable::Field::Race), QStringLiteral("abc"));
    std::vector<QString> codes;
    for (const Finding& f : editor().findings())
        codes.push_back(f.code);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), QStringLiteral("unknown-race")), 1);
}

TEST_F(OptionsTest, TheSettingsReachTheEditorAsTyped)
{
    OptionsWindow* options = openOptions();
    ASSERT_TRUE(options);
    ASSERT_TRUE(options->isVisible());
    EXPECT_EQ(options->windowTitle(), QStringLiteral("Level Settings"));
    EXPECT_EQ(in("Text1")->text() + u'|' + in("txtSizeX")->text() + u'|' + in("txtSizeZ")->text(),
        QStringLiteral("NewMap|30000|20000"));
    EXPECT_EQ(in<QComboBox>("cmbNoPlayers")->currentText() + u'|' + in<QComboBox>("cmbMusic")->currentText(),
        QStringLiteral("2 Players|") + editor().mapSettings().music);
    retype(in("Text1"), QStringLiteral("Twin Rings"));
    retype(in("txtSizeX"), QStringLiteral("45000x"));
    QTest::keyClick(in<QComboBox>("cmbNoPlayers"), Qt::Key_End);
    EXPECT_EQ(editor().mapSettings().levelDesc + u'|' + editor().mapSettings().sizeX + u'|'
            + QString::number(editor().mapSettings().playerCount()),
        QStringLiteral("Twin Rings|45000x|8"));
    EXPECT_EQ(editor().topScale().width(), 60000.0) << "the views keep the world size until Done!";
    trigger("mnuFileNew");
    EXPECT_EQ(in<QComboBox>("cmbNoPlayers")->currentText(), QStringLiteral("2 Players"))
        << "a new level resets the count";
}

TEST_F(OptionsTest, PreferencesOkAppliesTheGridAndFontSizes)
{
    ASSERT_FALSE(gridColumnAt(-29000));
    ASSERT_TRUE(gridColumnAt(-27500));
    PreferencesDialog* preferences = openPreferences();
    ASSERT_TRUE(preferences && preferences->isVisible());
    EXPECT_EQ(pref("txtGridSize")->text(), QStringLiteral("2500"));
    retype(pref("txtGridSize"), QStringLiteral("1000"));
    QTest::keyClick(pref<QComboBox>("cmbFontSize"), Qt::Key_Down);
    EXPECT_TRUE(stored("Settings/GridSize").isEmpty());
    EXPECT_FALSE(gridColumnAt(-29000)) << "typing alone does not reach the view";
    QTest::mouseClick(pref<QPushButton>("cmdPreferencesOk"), Qt::LeftButton);
    EXPECT_EQ(stored("Settings/GridSize") + u'|' + stored("Settings/FontSize") + u'|'
            + QString::number(preferences->isVisible()),
        QStringLiteral("1000|5|0"));
    EXPECT_TRUE(gridColumnAt(-29000));
    EXPECT_TRUE(gridColumnAt(-27000));
    EXPECT_EQ(editor().undoStack().count(), 0) << "preferences are not a step of the level";
}

TEST_F(OptionsTest, PreferencesCancelStoresNothing)
{
    PreferencesDialog* preferences = openPreferences();
    retype(pref("txtGridSize"), QStringLiteral("1000"));
    QTest::keyClick(pref<QComboBox>("cmbFontSize"), Qt::Key_Down);
    QTest::mouseClick(pref<QPushButton>("cmdPreferencesCancel"), Qt::LeftButton);
    EXPECT_FALSE(preferences->isVisible());
    EXPECT_EQ(stored("Settings/GridSize") + u'|' + stored("Settings/FontSize") + u'|' + editor().gridSize(),
        QStringLiteral("||2500"));
    openPreferences();
    EXPECT_EQ(pref("txtGridSize")->text(), QStringLiteral("2500")) << "the dialog shows the stored values again";
}

TEST_F(OptionsTest, PreferencesRefuseOkWhileTheGridSizeIsInvalid)
{
    PreferencesDialog* preferences = openPreferences();
    retype(pref("txtGridSize"), QStringLiteral("abc"));
    auto* mark = preferences->findChild<QAction*>(QStringLiteral("txtGridSizeProblem"));
    ASSERT_NE(mark, nullptr);
    EXPECT_TRUE(mark->isVisible());
    EXPECT_EQ(pref("txtGridSize")->toolTip(), QStringLiteral("Grid Size must be a positive number."));
    EXPECT_FALSE(pref<QPushButton>("cmdPreferencesOk")->isEnabled());
    preferences->accept(); // as Enter in the field would
    EXPECT_TRUE(preferences->isVisible());
    EXPECT_TRUE(stored("Settings/GridSize").isEmpty());
}

TEST_F(OptionsTest, LevelSettingsOkIsOneUndoStep)
{
    OptionsWindow* options = openOptions();
    retype(in("txtSizeY"), QStringLiteral("45000"));
    retype(in("Text7"), QStringLiteral("6000"));
    QTest::mouseClick(in<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(editor().topScale().height(), 90000.0) << "OK applies the world size to the views";
    EXPECT_EQ(editor().undoStack().count(), 1);
    EXPECT_EQ(editor().undoStack().undoText(), QStringLiteral("Options"));
    openOptions();
    QTest::mouseClick(in<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(editor().undoStack().count(), 1) << "OK without a change adds no step";
}

TEST_F(OptionsTest, OkWaitsWhileAFieldIsInvalidSayingWhy)
{
    OptionsWindow* options = openOptions();
    auto* mark = options->findChild<QAction*>(QStringLiteral("txtSizeXProblem"));
    ASSERT_NE(mark, nullptr);
    EXPECT_FALSE(mark->isVisible());
    retype(in("txtSizeX"), QStringLiteral("45000x"));
    EXPECT_TRUE(mark->isVisible());
    EXPECT_EQ(in("txtSizeX")->toolTip(), QStringLiteral("SizeX must be a positive number."));
    EXPECT_TRUE(in<QLabel>("lblProblems")->text().contains(QStringLiteral("SizeX must be a positive number.")));
    EXPECT_FALSE(in<QPushButton>("Command1")->isEnabled());
    options->accept(); // as Enter in a field would
    EXPECT_TRUE(options->isVisible());
    EXPECT_EQ(editor().undoStack().count(), 0);
    EXPECT_TRUE(host.messages.empty()) << "the field says why; no message box";
    retype(in("txtSizeX"), QStringLiteral("45000"));
    EXPECT_FALSE(mark->isVisible());
    EXPECT_TRUE(in<QPushButton>("Command1")->isEnabled());
}

TEST_F(OptionsTest, CancelGivesTheSettingsBackAsTheyWere)
{
    loadLevel("four.level", levelOfPlayers(4));
    const MapSettings before = editor().mapSettings();
    const int steps = editor().undoStack().count();
    OptionsWindow* options = openOptions();
    retype(in("txtSizeX"), QStringLiteral("abc"));
    retype(in("Text1"), QStringLiteral("Other"));
    host.yesNoAnswers.push_back(true);
    in<QComboBox>("cmbNoPlayers")->setCurrentIndex(0);
    Q_EMIT in<QComboBox>("cmbNoPlayers")->activated(0);
    ASSERT_EQ(editor().mapSettings().playerCount(), 2);
    QTest::mouseClick(in<QPushButton>("cmdCancel"), Qt::LeftButton);
    EXPECT_FALSE(options->isVisible());
    EXPECT_TRUE(editor().mapSettings() == before);
    EXPECT_EQ(editor().undoStack().index(), steps) << "the lowered player count is taken back";
    EXPECT_EQ(editor().liveCount(ItemKind::PlayerStart), 4);
    EXPECT_EQ(in("txtSizeX")->text(), before.sizeX);
}

TEST_F(OptionsTest, EscapeCancelsTheLevelSettingsDialog)
{
    OptionsWindow* options = openOptions();
    QApplication::setActiveWindow(options); // as showing it makes it for the user
    retype(in("Text7"), QStringLiteral("-5"));
    QTest::keyClick(in("Text7"), Qt::Key_Escape);
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(editor().mapSettings().cameraMin, QStringLiteral("5000"));
    EXPECT_EQ(editor().undoStack().count(), 0);
}

TEST_F(OptionsTest, ThePlayerTableFitsWithoutScrollingSideways)
{
    loadLevel("eight.level", levelOfPlayers(8));
    openOptions();
    auto* table = in<QTableWidget>("tblPlayers");
    table->item(0, 1)->setText(QStringLiteral("A rather long name for the first player"));
    QCoreApplication::processEvents();
    EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(table->horizontalScrollBar()->isVisible());
}

TEST_F(PaintingTest, AGridTooFineToShowWholeTellsTheSpacingItShows)
{
    EXPECT_EQ(label("lblGridSpacing"), QString()) << "every line of the default grid shows";
    openPreferences();
    retype(pref("txtGridSize"), QStringLiteral("200"));
    QTest::mouseClick(pref<QPushButton>("cmdPreferencesOk"), Qt::LeftButton);
    QCoreApplication::processEvents(); // the status bar makes room for the longer text
    const QString shown = label("lblGridSpacing");
    const double spacing = shown.section(u' ', 3, 3).toDouble();
    ASSERT_GT(spacing, 200)
        << shown.toStdString(); // "Grid shown every N units (grid size 300)" or "... every N x M units ..."
    EXPECT_TRUE(gridColumnAt(-30000 + spacing)) << shown.toStdString();
    EXPECT_TRUE(gridColumnAt(-30000 + 2 * spacing)) << shown.toStdString();
    EXPECT_FALSE(gridColumnAt(-30000 + 200)) << shown.toStdString();
    for (int i = 0; i < 3; ++i) {
        click("cmdZoomIn");
        clickTop(top()->rect().center());
    }
    EXPECT_EQ(label("lblGridSpacing"), QString()) << "zoomed in, every line shows again";
}

TEST_F(PaintingTest, TheViewsShowEveryMarkAtAnyZoom)
{
    const QImage empty = viewImage(top()); // black, with the origin cross of 1250 units
    EXPECT_EQ(empty.pixelColor(pixelOf(top(), editor().topScale(), -29000, -29000)), QColor(Qt::black));
    EXPECT_TRUE(hasColourNear(empty, pixelOf(top(), editor().topScale(), 0, 0), white, 0));
    EXPECT_TRUE(hasColourNear(empty, pixelOf(top(), editor().topScale(), 1000, 0), white));
    EXPECT_FALSE(hasColourNear(empty, pixelOf(top(), editor().topScale(), 0, 5000), white, 2));
    EXPECT_TRUE(hasColourNear(front()->grab().toImage(), pixelOf(front(), editor().frontScale(), -20000, 0), grid, 2));
    for (const bool zoomed : {false, true}) {
        if (zoomed) {
            trigger("mnuFileNew");
            click("cmdZoomIn");
            clickTop(top()->rect().center());
            ASSERT_LT(editor().shownTop().height(), 30000.0);
        }
        const QPointF at = zoomed ? QPointF(2000, -3000) : QPointF(-10000, 8000);
        clickTop(pixelOf(top(), editor().topScale(), at.x(), at.y()), "Option1");
        const ItemPosition p = editor().document().position(ItemKind::PlayerStart, 0);
        const QImage image = viewImage(top());
        const ViewScale& scale = editor().topScale();
        const QPoint centre = pixelOf(top(), scale, p.x, p.y);
        const int radius = static_cast<int>(1000.0 * scale.pixelsPerUnitX(QSizeF(top()->size())));
        // A circle of 1000 units, round on the screen and not filled; the heading line points up, 1200 units long.
        EXPECT_TRUE(hasColourNear(image, centre + QPoint(radius, 0), red, 2));
        EXPECT_TRUE(hasColourNear(image, centre + QPoint(0, radius), red, 2));
        EXPECT_FALSE(hasColourNear(image, centre + QPoint(radius / 2, 0), red));
        EXPECT_TRUE(hasColourNear(image, pixelOf(top(), scale, p.x, p.y - 600), red));
        EXPECT_FALSE(hasColourNear(image, pixelOf(top(), scale, p.x, p.y + 600), red));
    }
    auto* setHeight = find<QCheckBox>("chkSetHeight");
    click("Option2");
    QTest::mouseClick(setHeight, Qt::LeftButton, {}, QPoint(5, setHeight->height() / 2));
    retype(find<QLineEdit>("txtSetHeight"), QStringLiteral("10000"));
    clickTop(pixelOf(top(), editor().topScale(), 5000, 0));
    const ItemPosition p = editor().document().position(ItemKind::Asteroid, 0);
    EXPECT_EQ(p.z, 10000);
    EXPECT_TRUE(hasColourNear(
        front()->grab().toImage(), pixelOf(front(), editor().frontScale(), p.x, 10000), QColor(154, 110, 4), 2));
}

} // namespace
} // namespace starloom::test
