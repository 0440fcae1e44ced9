#include "GuiFixture.h"

#include "OptionsWindow.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace starloom::test {
namespace {

const QColor grid(100, 100, 100);
const QColor white(255, 255, 255);
const QColor red(255, 0, 0);
const QColor black(0, 0, 0);

class OptionsTest : public GuiTest {
protected:
    OptionsWindow* openOptions()
    {
        find<QAction>("mnuFileGlobals")->trigger();
        auto* options = window->findChild<OptionsWindow*>(QStringLiteral("frmGlobals"));
        EXPECT_NE(options, nullptr);
        return options;
    }

    template <class T = QWidget>
    static T* in(QWidget* parent, const char* name)
    {
        T* child = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    // Whether a dotted vertical grid line runs through the top view at world x: grey in more than
    // a quarter of the rows (a dotted line is grey in about a third of them or more; the
    // horizontal lines alone cross a column only a few dozen times).
    bool gridColumnAt(const QImage& image, double x)
    {
        const int px = pixelOf(top(), editor().topScale(), x, 0).x();
        int best = 0;
        for (int column = px - 1; column <= px + 1; ++column) {
            int grey = 0;
            for (int y = 0; y < image.height(); ++y)
                grey += isColour(image, QPoint(column, y), grid) ? 1 : 0;
            best = std::max(best, grey);
        }
        return best > image.height() / 4;
    }
};

TEST_F(OptionsTest, WindowShowsTheDefaultsWithoutBlockingTheMainWindow)
{
    OptionsWindow* options = openOptions();
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->isVisible());
    EXPECT_FALSE(options->isModal());
    EXPECT_EQ(options->windowTitle(), QStringLiteral("Globals"));
    QStringList frames;
    for (const QGroupBox* frame : options->findChildren<QGroupBox*>())
        frames << frame->title();
    EXPECT_EQ(frames, (QStringList{QStringLiteral("Map Options"), QStringLiteral("Starloom DX Options")}));
    EXPECT_EQ(in<QLineEdit>(options, "Text1")->text(), QStringLiteral("NewMap"));
    EXPECT_EQ(in<QComboBox>(options, "cmbNoPlayers")->currentText(), QStringLiteral("2 Players"));
    EXPECT_EQ(in<QLineEdit>(options, "txtSizeX")->text(), QStringLiteral("30000"));
    EXPECT_EQ(in<QLineEdit>(options, "txtSizeY")->text(), QStringLiteral("30000"));
    EXPECT_EQ(in<QLineEdit>(options, "txtSizeZ")->text(), QStringLiteral("20000"));
    EXPECT_EQ(in<QLineEdit>(options, "Text7")->text(), QStringLiteral("5000"));
    EXPECT_EQ(in<QLineEdit>(options, "Text8")->text(), QStringLiteral("230000"));
    EXPECT_EQ(in<QComboBox>(options, "cmbBackground")->currentText(), editor().mapSettings().background);
    EXPECT_EQ(in<QComboBox>(options, "cmbMusic")->currentText(), editor().mapSettings().music);
    EXPECT_EQ(in<QComboBox>(options, "cmbMusic")->count(), 23);
    EXPECT_EQ(in<QLineEdit>(options, "txtGridSize")->text(), QStringLiteral("2500"));
    EXPECT_EQ(in<QComboBox>(options, "cmbFontSize")->currentText(), QStringLiteral(" 6"));
    EXPECT_EQ(in<QPushButton>(options, "Command1")->text(), QStringLiteral("Done!"));
}

TEST_F(OptionsTest, TypedValuesReachTheSettingsAsTyped)
{
    OptionsWindow* options = openOptions();
    retype(in<QLineEdit>(options, "Text1"), QStringLiteral("Twin Rings"));
    retype(in<QLineEdit>(options, "txtSizeX"), QStringLiteral("45000x"));
    auto* background = in<QComboBox>(options, "cmbBackground");
    retype(background->lineEdit(), QStringLiteral("my_background"));
    QTest::keyClick(in<QComboBox>(options, "cmbNoPlayers"), Qt::Key_End);
    EXPECT_EQ(editor().mapSettings().levelDesc, QStringLiteral("Twin Rings"));
    EXPECT_EQ(editor().mapSettings().sizeX, QStringLiteral("45000x"));
    EXPECT_EQ(editor().mapSettings().background, QStringLiteral("my_background"));
    EXPECT_EQ(editor().mapSettings().playerCount(), 6);
    // The views keep the world size until "Done!".
    EXPECT_EQ(editor().topScale().width(), 60000.0);
}

TEST_F(OptionsTest, DoneStoresTheGridSizeHidesTheWindowAndRedrawsTheGrid)
{
    const QImage before = top()->grab().toImage();
    ASSERT_FALSE(gridColumnAt(before, -29000));
    ASSERT_TRUE(gridColumnAt(before, -27500));

    OptionsWindow* options = openOptions();
    retype(in<QLineEdit>(options, "txtGridSize"), QStringLiteral("1000"));
    QTest::keyClick(in<QComboBox>(options, "cmbFontSize"), Qt::Key_Down);
    // Typing alone does not reach the view.
    EXPECT_FALSE(gridColumnAt(top()->grab().toImage(), -29000));

    QTest::mouseClick(in<QPushButton>(options, "Command1"), Qt::LeftButton);
    EXPECT_FALSE(options->isVisible());
    QSettings stored(settingsPath(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("Settings/GridSize")).toString(), QStringLiteral("1000"));
    EXPECT_EQ(stored.value(QStringLiteral("Settings/FontSize")).toString(), QStringLiteral("5"));

    const QImage after = top()->grab().toImage();
    EXPECT_TRUE(gridColumnAt(after, -29000));
    EXPECT_TRUE(gridColumnAt(after, -27000));
}

TEST_F(OptionsTest, RefusedValueKeepsTheWindowOpenAndStoresNothing)
{
    OptionsWindow* options = openOptions();
    retype(in<QLineEdit>(options, "txtGridSize"), QStringLiteral("abc"));
    QTest::mouseClick(in<QPushButton>(options, "Command1"), Qt::LeftButton);
    EXPECT_TRUE(options->isVisible());
    ASSERT_EQ(host.messages.size(), 1u);
    QSettings stored(settingsPath(), QSettings::IniFormat);
    EXPECT_FALSE(stored.contains(QStringLiteral("Settings/GridSize")));
}

TEST_F(OptionsTest, ClosingTheWindowHidesItWithoutStoring)
{
    OptionsWindow* options = openOptions();
    retype(in<QLineEdit>(options, "txtGridSize"), QStringLiteral("1000"));
    options->close();
    EXPECT_FALSE(options->isVisible());
    QSettings stored(settingsPath(), QSettings::IniFormat);
    EXPECT_FALSE(stored.contains(QStringLiteral("Settings/GridSize")));
    // Shown again, it keeps what was typed.
    find<QAction>("mnuFileGlobals")->trigger();
    EXPECT_EQ(in<QLineEdit>(options, "txtGridSize")->text(), QStringLiteral("1000"));
}

TEST_F(OptionsTest, NewLevelShowsTheResetPlayerCount)
{
    OptionsWindow* options = openOptions();
    QTest::keyClick(in<QComboBox>(options, "cmbNoPlayers"), Qt::Key_End);
    find<QAction>("mnuFileNew")->trigger();
    EXPECT_EQ(in<QComboBox>(options, "cmbNoPlayers")->currentText(), QStringLiteral("2 Players"));
}

// --- painting of the real views

class PaintingTest : public GuiTest {
protected:
    // Places player 1's start at the world point nearest to (x, y) and returns where it landed.
    ItemPosition placePlayer(double x, double y)
    {
        click("Option1");
        QTest::mouseClick(top(), Qt::LeftButton, {}, pixelOf(top(), editor().topScale(), x, y));
        EXPECT_EQ(editor().rows().size(), 1u);
        return editor().document().position(ItemKind::PlayerStart, 0);
    }

    void expectPlayerDrawn(const ItemPosition& p)
    {
        const QImage image = top()->grab().toImage();
        const ViewScale scale = editor().topScale();
        const QPoint centre = pixelOf(top(), scale, p.x, p.y);
        const double radius = 1000.0 / scale.width() * top()->width();
        // The circle is round on the screen: its rightmost and lowest points lie one horizontal
        // radius from the centre.
        EXPECT_TRUE(hasColourNear(image, centre + QPoint(static_cast<int>(radius), 0), red, 2));
        EXPECT_TRUE(hasColourNear(image, centre + QPoint(0, static_cast<int>(radius)), red, 2));
        EXPECT_FALSE(hasColourNear(image, centre + QPoint(static_cast<int>(radius / 2), 0), red, 1));
        // Orientation 0: the heading line points straight up, 1200 units long.
        const QPoint headingMiddle = pixelOf(top(), scale, p.x, p.y - 600);
        EXPECT_TRUE(hasColourNear(image, headingMiddle, red, 1));
        const QPoint below = pixelOf(top(), scale, p.x, p.y + 600);
        EXPECT_FALSE(hasColourNear(image, below, red, 1));
    }
};

TEST_F(PaintingTest, DefaultWorldShowsGridCrossAndPlayerStart)
{
    const QImage empty = top()->grab().toImage();
    const ViewScale scale = editor().topScale();
    EXPECT_TRUE(isColour(empty, QPoint(2, 2), black));
    EXPECT_TRUE(hasColourNear(empty, pixelOf(top(), scale, 0, 0), white, 0));
    EXPECT_TRUE(hasColourNear(empty, pixelOf(top(), scale, 1000, 0), white, 1));
    EXPECT_FALSE(hasColourNear(empty, pixelOf(top(), scale, 0, 5000), white, 2));

    expectPlayerDrawn(placePlayer(-10000, 8000));

    const QImage frontImage = front()->grab().toImage();
    const QPoint zeroLine = pixelOf(front(), editor().frontScale(), -20000, 0);
    EXPECT_TRUE(hasColourNear(frontImage, zeroLine, grid, 2));
}

TEST_F(PaintingTest, ZoomedViewDrawsThePlayerStartLarger)
{
    click("cmdZoomIn");
    QTest::mouseClick(top(), Qt::LeftButton, {}, top()->rect().center());
    ASSERT_LT(editor().topScale().width(), 30000.0);
    expectPlayerDrawn(placePlayer(2000, -3000));
}

TEST_F(PaintingTest, FrontViewShowsTheItemAtItsHeight)
{
    auto* setHeight = find<QCheckBox>("chkSetHeight");
    click("Option2");
    QTest::mouseClick(setHeight, Qt::LeftButton, {}, QPoint(5, setHeight->height() / 2));
    ASSERT_TRUE(editor().setHeightChecked());
    auto* height = find<QLineEdit>("txtSetHeight");
    height->selectAll();
    QTest::keyClicks(height, QStringLiteral("10000"));
    QTest::mouseClick(top(), Qt::LeftButton, {}, pixelOf(top(), editor().topScale(), 5000, 0));
    ASSERT_EQ(editor().document().resources(ItemKind::Asteroid).at(0).posZ, 10000);
    const QImage image = front()->grab().toImage();
    const ItemPosition p = editor().document().position(ItemKind::Asteroid, 0);
    EXPECT_TRUE(hasColourNear(image, pixelOf(front(), editor().frontScale(), p.x, 10000), QColor(154, 110, 4), 2));
}

} // namespace
} // namespace starloom::test
