#include "GuiFixture.h"

#include "OptionsWindow.h"
#include "SplashWindow.h"
#include "TestSupport.h"

#include <QHeaderView>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
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
        {"mnuFile", "&Options|-|&New Level|&Open Level...|&Load Level|&Save|&Save Level|&Recent Levels|-|E&xit"},
        {"mnuEdit",
            "Undo|Redo|-|Cu&t|&Copy|&Paste|&Duplicate|De&lete|-|Select &All|Select &None|-|&Mirror|&Flip|"
            "&Rotate Copies|Make S&ymmetric|-|S&nap to Grid|M&easure"},
        {"mnuView", "&3-D View|-|Frame &All|Frame &Selection|-|&Top|&Front|Si&de|-|&Checks"},
        {"mnuHelp", "&About|-|Goto Website"}, {"mnuObjects", "Delete Object|Set Player"},
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
    EXPECT_EQ(list()->model()->columnCount(), 3);
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
        QStringLiteral("Size100Placement mode"));
    click("Option9");
    QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_End); // "Custom"
    EXPECT_TRUE(find("txtCustomShip")->isVisible());
}

TEST_F(MainWindowTest, LayoutKeepsTheViewsInTheMiddleShowingTheWholeWorldAfterAResize)
{
    click("cmdZoomIn");
    clickTop(top()->rect().center());
    ASSERT_LT(editor().topScale().width(), 60000.0);
    for (const QSize size : {QSize(1300, 900), QSize(700, 500)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        const QRect listBox = list()->geometry(), frame = find("Frame1")->geometry(), topView = top()->geometry(),
                    frontView = front()->geometry();
        const QWidget* client = window->centralWidget();
        EXPECT_LT(listBox.right(), topView.left()) << size.width();
        EXPECT_LT(topView.right(), frame.left()) << size.width();
        EXPECT_LE(frame.right(), client->width()) << size.width();
        EXPECT_EQ(frontView.left(), topView.left()) << size.width();
        EXPECT_LT(topView.bottom(), frontView.top()) << size.width();
        EXPECT_LE(frontView.bottom(), client->height()) << size.width();
        EXPECT_NEAR(double(topView.height() + 100) / double(frontView.height() + 1), 3.0, 0.8)
            << "three quarters to the top view";
        EXPECT_EQ(editor().topScale().width(), 60000.0);
    }
}

TEST_F(MainWindowTest, AResizeTooNarrowToLayOutChangesNothing)
{
    click("cmdZoomIn");
    clickTop(top()->rect().center());
    const ViewScale zoomed = editor().topScale();
    const QRect topView = top()->geometry();
    ASSERT_LT(zoomed.width(), 60000.0);
    window->centralWidget()->resize(150, 300); // 3000 twips wide or less
    EXPECT_EQ(editor().topScale(), zoomed);
    EXPECT_EQ(top()->geometry(), topView);
}

TEST_F(MainWindowTest, TheSmallestWindowKeepsEveryControlUsable)
{
    click("Option9");
    QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_End); // "Custom": the most controls the panel shows
    const int alone = window->minimumWidth();
    for (const bool withDock : {false, true}) { // and beside the docked 3-D view
        if (withDock)
            trigger("mnuView3D");
        window->resize(100, 100);
        QCoreApplication::processEvents();
        ASSERT_EQ(window->size(), window->minimumSize());
        ASSERT_GT(window->minimumWidth(), 600);
        QStringList faults;
        for (const QWidget* parent :
            {window->centralWidget(), find("Frame1")}) // the panel's controls below its caption
            for (const QWidget* w : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                if (w->isVisible()
                    && !parent->rect()
                            .adjusted(0, parent == find("Frame1") ? parent->fontMetrics().height() : 0, 0, 0)
                            .contains(w->geometry()))
                    faults << w->objectName() + QStringLiteral(" is cut off");
        const char* controls[] = {"lstObjects", "Picture1", "picLeft", "Frame1", "cmdZoomIn", "cmdZoomOut", "Label7",
            "lblX", "lblY", "Label2"};
        for (const char* a : controls)
            for (const char* b : controls)
                // More than the one pixel row by which the zoom buttons reach into the top view's edge.
                if (const QRect both = find(a)->geometry() & find(b)->geometry();
                    std::strcmp(a, b) < 0 && both.width() > 1 && both.height() > 1)
                    faults << QStringLiteral("%1 covers %2").arg(QLatin1String(a), QLatin1String(b));
        EXPECT_TRUE(faults.isEmpty()) << withDock << ": " << faults.join(QStringLiteral(", ")).toStdString();
        EXPECT_GT(top()->height(), 100) << withDock;
        EXPECT_GT(front()->height(), 50) << withDock;
        EXPECT_GT(top()->width(), 300) << withDock;
        EXPECT_GT(find("view3D")->width(), withDock ? 100 : -1);
    }
    trigger("mnuView3D");
    EXPECT_EQ(window->minimumWidth(), alone) << "hidden, the view takes no room";
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
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            text = button->text().remove(u'&');
            if (text.isEmpty())
                continue;
            // The room the style draws the text in.
            QStyleOptionButton option;
            option.initFrom(w);
            option.text = text;
            const QStyle::SubElement contents = qobject_cast<const QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                : qobject_cast<const QRadioButton*>(w)                            ? QStyle::SE_RadioButtonContents
                                                                                  : QStyle::SE_PushButtonContents;
            const QRect room = w->style()->subElementRect(contents, &option, w);
            needed = metrics.horizontalAdvance(text);
            if (needed > room.width() || metrics.height() > room.height())
                faults << QStringLiteral("%1 \"%2\" is cut off (%3 > %4)")
                              .arg(w->objectName(), text)
                              .arg(needed)
                              .arg(room.width());
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
        faults += cutOffTexts(find("Frame1")) + outside();
    }
    clickListRow(0);
    faults += cutOffTexts(find("Frame1")) + outside();
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("\n")).toStdString();
}

TEST_F(TextFitsTest, NoTextIsCutOffInTheOptionsWindow)
{
    trigger("mnuFileGlobals");
    auto* options = window->findChild<QWidget*>(QStringLiteral("frmGlobals"));
    ASSERT_TRUE(options && options->isVisible());
    const QStringList faults = cutOffTexts(options);
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
        const QImage image = top()->grab().toImage();
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
    ASSERT_FALSE(options->isModal());
    EXPECT_EQ(in("Text1")->text() + u'|' + in("txtSizeX")->text() + u'|' + in("txtSizeZ")->text() + u'|'
            + in("txtGridSize")->text(),
        QStringLiteral("NewMap|30000|20000|2500"));
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

TEST_F(OptionsTest, DoneStoresTheSettingsThenHidesTheWindowRedrawingTheGrid)
{
    ASSERT_FALSE(gridColumnAt(-29000));
    ASSERT_TRUE(gridColumnAt(-27500));
    OptionsWindow* options = openOptions();
    retype(in("txtGridSize"), QStringLiteral("abc"));
    QTest::mouseClick(in<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_TRUE(options->isVisible()) << "a refused value keeps the window open";
    EXPECT_EQ(host.messages.size(), 1) << "a refused value keeps the window open";
    retype(in("txtGridSize"), QStringLiteral("1000"));
    EXPECT_TRUE(stored("Settings/GridSize").isEmpty());
    QTest::keyClick(in<QComboBox>("cmbFontSize"), Qt::Key_Down);
    EXPECT_FALSE(gridColumnAt(-29000)) << "typing alone does not reach the view";
    QTest::mouseClick(in<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(
        stored("Settings/GridSize") + u'|' + stored("Settings/FontSize") + u'|' + QString::number(options->isVisible()),
        QStringLiteral("1000|5|0"));
    EXPECT_TRUE(gridColumnAt(-29000));
    EXPECT_TRUE(gridColumnAt(-27000));
}

TEST_F(OptionsTest, ClosingKeepsOnlyWhatTheGameCanRead)
{
    OptionsWindow* options = openOptions();
    retype(in("txtSizeX"), QStringLiteral("abc"));
    retype(in("txtSizeY"), QStringLiteral("45000"));
    retype(in("txtGridSize"), QStringLiteral("-1"));
    options->close(); // the title bar's close button
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(editor().mapSettings().sizeX + u'|' + editor().mapSettings().sizeY + u'|' + editor().gridSize(),
        QStringLiteral("30000|45000|2500"));
    EXPECT_EQ(in("txtSizeX")->text(), QStringLiteral("30000"));
    EXPECT_EQ(editor().topScale().height(), 90000.0) << "what was kept is applied, as Done! applies it";
    EXPECT_EQ(editor().undoStack().undoText(), QStringLiteral("Options"));
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_TRUE(host.statuses.back().contains(QStringLiteral("SizeX (30000), Grid Size (2500)")))
        << host.statuses.back().toStdString();
    EXPECT_TRUE(host.messages.empty());
    // Escape closes it as well.
    openOptions();
    ASSERT_TRUE(options->isVisible());
    QApplication::setActiveWindow(options); // as showing it makes it for the user
    retype(in("Text7"), QStringLiteral("-5"));
    QTest::keyClick(in("Text7"), Qt::Key_Escape);
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(editor().mapSettings().cameraMin, QStringLiteral("5000"));
}

TEST_F(PaintingTest, AGridTooFineToShowWholeTellsTheSpacingItShows)
{
    EXPECT_EQ(label("lblGridSpacing"), QString()) << "every line of the default grid shows";
    openOptions();
    retype(in("txtGridSize"), QStringLiteral("300"));
    QTest::mouseClick(in<QPushButton>("Command1"), Qt::LeftButton);
    QCoreApplication::processEvents(); // the status bar makes room for the longer text
    const QString shown = label("lblGridSpacing");
    const double spacing = shown.section(u' ', 3, 3).toDouble();
    ASSERT_GT(spacing, 300)
        << shown.toStdString(); // "Grid shown every N units (grid size 300)" or "... every N x M units ..."
    EXPECT_TRUE(gridColumnAt(-30000 + spacing)) << shown.toStdString();
    EXPECT_TRUE(gridColumnAt(-30000 + 2 * spacing)) << shown.toStdString();
    EXPECT_FALSE(gridColumnAt(-30000 + 300)) << shown.toStdString();
    for (int i = 0; i < 3; ++i) {
        click("cmdZoomIn");
        clickTop(top()->rect().center());
    }
    EXPECT_EQ(label("lblGridSpacing"), QString()) << "zoomed in, every line shows again";
}

TEST_F(PaintingTest, TheViewsShowEveryMarkAtAnyZoom)
{
    const QImage empty = top()->grab().toImage(); // black, with the origin cross of 1250 units
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
        const QImage image = top()->grab().toImage();
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
