#include "OptionsWindow.h"

#include "Twips.h"

#include "document/MapSettings.h"
#include "editing/Editor.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace starloom {

namespace {

void setTextIfChanged(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

void setComboText(QComboBox* combo, const QString& text)
{
    if (combo->currentText() == text)
        return;
    const int index = combo->findText(text, Qt::MatchExactly);
    if (index >= 0)
        combo->setCurrentIndex(index);
    else
        combo->setEditText(text);
}

} // namespace

OptionsWindow::OptionsWindow(Editor& editor, QWidget* parent)
    : QWidget(parent, Qt::Dialog)
    , m_editor(editor)
{
    setObjectName(QStringLiteral("frmGlobals"));
    setWindowTitle(QStringLiteral("Globals"));
    QFont interfaceFont = font();
    interfaceFont.setPointSizeF(8);
    setFont(interfaceFont);
    const double dpi = logicalDpiY();
    // Where the interface font is wider than the one the layout was designed with, the fields
    // move right (and the window grows) so that no caption is covered.
    double extra = 0;
    for (const char* caption : {"FileName", "Players", "SizeX", "SizeY", "SizeZ", "Background", "CameraMin",
                                "CameraMax", "Music", "Grid Size", "Font Size"}) {
        const double needed = pixelsToTwips(fontMetrics().horizontalAdvance(QString::fromLatin1(caption)) + 4, dpi);
        extra = std::max(extra, needed - 945);
    }
    auto at = [dpi](QWidget* w, double left, double top, double width, double height) {
        w->setGeometry(twipsRect(left, top, width, height, dpi));
    };

    auto* mapFrame = new QGroupBox(QStringLiteral("Map Options"), this);
    mapFrame->setObjectName(QStringLiteral("fraMapOptions"));
    at(mapFrame, 60, 60, 4035 + extra, 3615);
    auto* displayFrame = new QGroupBox(QStringLiteral("Starloom DX Options"), this);
    displayFrame->setObjectName(QStringLiteral("fraDisplayOptions"));
    at(displayFrame, 60, 3720, 4035 + extra, 1095);

    auto row = [&](QWidget* frame, const char* caption, QWidget* field, const char* name, double captionTop,
                   double fieldTop) {
        auto* label = new QLabel(QString::fromLatin1(caption), frame);
        at(label, 120, captionTop, 945 + extra, 255);
        field->setParent(frame);
        field->setObjectName(QString::fromLatin1(name));
        at(field, 1080 + extra, fieldTop, 2775, 315);
        label->setBuddy(field);
    };
    auto lineEdit = [] { return new QLineEdit; };
    auto comboBox = [](bool editable) {
        auto* combo = new QComboBox;
        combo->setEditable(editable);
        if (editable)
            combo->setInsertPolicy(QComboBox::NoInsert);
        return combo;
    };

    const double tops[] = {300, 660, 1020, 1380, 1740, 2100, 2460, 2820, 3180};
    row(mapFrame, "FileName", m_levelDesc = lineEdit(), "Text1", tops[0], tops[0] - 30);
    row(mapFrame, "Players", m_players = comboBox(false), "cmbNoPlayers", tops[1], tops[1] - 30);
    row(mapFrame, "SizeX", m_sizeX = lineEdit(), "txtSizeX", tops[2], tops[2] - 30);
    row(mapFrame, "SizeY", m_sizeY = lineEdit(), "txtSizeY", tops[3], tops[3] - 30);
    row(mapFrame, "SizeZ", m_sizeZ = lineEdit(), "txtSizeZ", tops[4], tops[4] - 30);
    row(mapFrame, "Background", m_background = comboBox(true), "cmbBackground", tops[5], tops[5] - 30);
    row(mapFrame, "CameraMin", m_cameraMin = lineEdit(), "Text7", tops[6], tops[6] - 30);
    row(mapFrame, "CameraMax", m_cameraMax = lineEdit(), "Text8", tops[7], tops[7] - 30);
    row(mapFrame, "Music", m_music = comboBox(true), "cmbMusic", tops[8], tops[8] - 30);
    row(displayFrame, "Grid Size", m_gridSize = lineEdit(), "txtGridSize", 300, 240);
    row(displayFrame, "Font Size", m_fontSize = comboBox(false), "cmbFontSize", 660, 600);

    m_done = new QPushButton(QStringLiteral("Done!"), this);
    m_done->setObjectName(QStringLiteral("Command1"));
    at(m_done, 3000 + extra, 4920, 1095, 375);
    setFixedSize(twipsToPixels(4155 + extra, logicalDpiX()), twipsToPixels(5415, dpi));

    m_players->addItems(playerCountEntries());
    m_background->addItems(backgroundEntries());
    m_music->addItems(musicEntries());
    m_fontSize->addItems(fontSizeEntries());

    auto edits = [this](QLineEdit* edit, QString MapSettings::*field) {
        connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) {
            if (!m_refreshing)
                m_editor.mapSettings().*field = text;
        });
    };
    edits(m_levelDesc, &MapSettings::levelDesc);
    edits(m_sizeX, &MapSettings::sizeX);
    edits(m_sizeY, &MapSettings::sizeY);
    edits(m_sizeZ, &MapSettings::sizeZ);
    edits(m_cameraMin, &MapSettings::cameraMin);
    edits(m_cameraMax, &MapSettings::cameraMax);
    auto typedList = [this](QComboBox* combo, QString MapSettings::*field) {
        connect(combo, &QComboBox::editTextChanged, this, [this, field](const QString& text) {
            if (!m_refreshing)
                m_editor.mapSettings().*field = text;
        });
    };
    typedList(m_background, &MapSettings::background);
    typedList(m_music, &MapSettings::music);
    connect(m_players, &QComboBox::activated, this, [this](int index) {
        if (!m_refreshing)
            m_editor.mapSettings().playerIndex = index;
    });
    connect(m_gridSize, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!m_refreshing)
            m_editor.setGridSize(text);
    });
    connect(m_fontSize, &QComboBox::activated, this, [this](int index) {
        if (!m_refreshing)
            m_editor.setFontSizeIndex(index);
    });
    connect(m_done, &QPushButton::clicked, this, &OptionsWindow::done);

    refresh();
}

void OptionsWindow::refresh()
{
    m_refreshing = true;
    const MapSettings& s = std::as_const(m_editor).mapSettings();
    setTextIfChanged(m_levelDesc, s.levelDesc);
    if (m_players->currentIndex() != s.playerIndex)
        m_players->setCurrentIndex(s.playerIndex);
    setTextIfChanged(m_sizeX, s.sizeX);
    setTextIfChanged(m_sizeY, s.sizeY);
    setTextIfChanged(m_sizeZ, s.sizeZ);
    setComboText(m_background, s.background);
    setTextIfChanged(m_cameraMin, s.cameraMin);
    setTextIfChanged(m_cameraMax, s.cameraMax);
    setComboText(m_music, s.music);
    setTextIfChanged(m_gridSize, m_editor.gridSize());
    if (m_fontSize->currentIndex() != m_editor.fontSizeIndex())
        m_fontSize->setCurrentIndex(m_editor.fontSizeIndex());
    m_refreshing = false;
}

void OptionsWindow::done()
{
    // A refused value keeps the window open; the editor has said why.
    const bool stored = m_editor.Command1_Click();
    if (stored)
        hide();
    Q_EMIT handlerRan();
}

} // namespace starloom
