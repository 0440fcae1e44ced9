#include "OptionsWindow.h"

#include "Twips.h"
#include "WidgetText.h"

#include "document/MapSettings.h"
#include "editing/Editor.h"
#include "gamedata/SettingsStore.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <algorithm>

namespace starloom {

namespace {

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

// The Race column: the races the game knows in the form the player's entry names its race
// (raceID or raceName), or any text, a mod's own race.
class RaceDelegate final : public QStyledItemDelegate {
public:
    RaceDelegate(const Editor& editor, QObject* parent) : QStyledItemDelegate(parent), m_editor(editor) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        auto* combo = new QComboBox(parent);
        combo->setObjectName(QStringLiteral("cmbRace"));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        const PlayerTable& players = m_editor.mapSettings().players;
        combo->addItems(players.raceByName(index.row()) ? PlayerTable::knownRaceNames() : PlayerTable::knownRaceIds());
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* combo = static_cast<QComboBox*>(editor);
        const QString text = index.data().toString();
        const int at = combo->findText(text, Qt::MatchExactly);
        if (at >= 0)
            combo->setCurrentIndex(at);
        else
            combo->setEditText(text);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }

private:
    const Editor& m_editor;
};

} // namespace

OptionsWindow::OptionsWindow(Editor& editor, QWidget* parent) : QWidget(parent, Qt::Dialog), m_editor(editor)
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
             "CameraMax", "Music", "Grid Size", "Font Size", "Game folder", "Mod folders"}) {
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
    auto* gameFrame = new QGroupBox(QStringLiteral("Game Data"), this);
    gameFrame->setObjectName(QStringLiteral("fraGameData"));
    at(gameFrame, 60, 4920, 4035 + extra, 1455);

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

    row(gameFrame, "Game folder", m_gameFolder = comboBox(false), "cmbGameFolder", 300, 240);
    at(m_gameFolder, 1080 + extra, 240, 1935, 315);
    m_browseGame = new QPushButton(QStringLiteral("Browse..."), gameFrame);
    m_browseGame->setObjectName(QStringLiteral("cmdBrowseGame"));
    at(m_browseGame, 3060 + extra, 240, 795, 315);
    m_gameNote = new QLabel(gameFrame);
    m_gameNote->setObjectName(QStringLiteral("lblGameFolder"));
    m_gameNote->setWordWrap(true);
    m_gameNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    at(m_gameNote, 120, 600, 3735 + extra, 390);
    row(gameFrame, "Mod folders", m_modFolders = lineEdit(), "txtModFolders", 1050, 1020);
    m_modFolders->setToolTip(
        QStringLiteral("Data folders of mods, read after the game's Data folder; separate them with ;"));

    // What a level holds beyond the fields on the left: each player's entry of the player table,
    // and the calls the editor keeps as the file gave them.
    const double right = 4155 + extra;
    auto* levelFrame = new QGroupBox(QStringLiteral("Players and Kept Calls"), this);
    levelFrame->setObjectName(QStringLiteral("fraPlayers"));
    at(levelFrame, right, 60, 5115, 6315);
    m_playerTable = new QTableWidget(0, 4, levelFrame);
    m_playerTable->setObjectName(QStringLiteral("tblPlayers"));
    m_playerTable->setHorizontalHeaderLabels(
        {QStringLiteral("Player"), QStringLiteral("Name"), QStringLiteral("Race"), QStringLiteral("Resources")});
    m_playerTable->verticalHeader()->hide();
    m_playerTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_playerTable->horizontalHeader()->setStretchLastSection(true);
    const int columnWidths[] = {1080, 1350, 1200};
    for (int column = 0; column < 3; ++column)
        m_playerTable->setColumnWidth(column, twipsToPixels(columnWidths[column], logicalDpiX()));
    m_playerTable->setItemDelegateForColumn(2, new RaceDelegate(m_editor, m_playerTable));
    m_playerTable->setToolTip(QStringLiteral("Race: raceID 1 or 2, or raceName Hiigaran or Vaygr (a number is written "
                                             "as raceID, a name as raceName); a mod's own race can be typed"));
    at(m_playerTable, 120, 300, 4875, 2955);
    m_keptCaption = new QLabel(levelFrame);
    m_keptCaption->setObjectName(QStringLiteral("lblKeptCalls"));
    at(m_keptCaption, 120, 3360, 4875, 255);
    m_keptCalls = new QListWidget(levelFrame);
    m_keptCalls->setObjectName(QStringLiteral("lstKeptCalls"));
    m_keptCalls->setSelectionMode(QAbstractItemView::NoSelection);
    at(m_keptCalls, 120, 3660, 4875, 2535);

    m_done = new QPushButton(QStringLiteral("Done!"), this);
    m_done->setObjectName(QStringLiteral("Command1"));
    at(m_done, right + 5115 - 1095, 6480, 1095, 375);
    setFixedSize(twipsToPixels(right + 5235, logicalDpiX()), twipsToPixels(6975, dpi));

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
    auto texts = [this](auto* edit, auto changed, Editor::MapText which) {
        connect(edit, changed, this, [this, which](const QString& text) {
            if (!m_refreshing && !m_editor.setMapText(which, text)) {
                Q_EMIT handlerRan();
                refresh();
            }
        });
    };
    texts(m_levelDesc, &QLineEdit::textEdited, Editor::MapText::Description);
    texts(m_background, &QComboBox::editTextChanged, Editor::MapText::Background);
    texts(m_music, &QComboBox::editTextChanged, Editor::MapText::Music);
    edits(m_sizeX, &MapSettings::sizeX);
    edits(m_sizeY, &MapSettings::sizeY);
    edits(m_sizeZ, &MapSettings::sizeZ);
    edits(m_cameraMin, &MapSettings::cameraMin);
    edits(m_cameraMax, &MapSettings::cameraMax);
    connect(m_players, &QComboBox::activated, this, [this](int index) {
        if (m_refreshing)
            return;
        m_editor.setPlayerIndex(index);
        Q_EMIT handlerRan();
        refresh();
    });
    connect(m_playerTable, &QTableWidget::cellChanged, this, [this](int slot, int column) {
        if (m_refreshing || column < 1)
            return;
        const auto field = column == 1 ? PlayerTable::Field::Name
            : column == 2              ? PlayerTable::Field::Race
                                       : PlayerTable::Field::Resources;
        m_editor.setPlayerField(slot, field, m_playerTable->item(slot, column)->text());
        Q_EMIT handlerRan();
        refresh();
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
    connect(m_gameFolder, &QComboBox::activated, this, [this] {
        m_gameChanged = true;
        m_problem.clear();
        describeGame();
    });
    connect(m_browseGame, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Game folder"), m_gameFolder->currentData().toString());
        if (!folder.isEmpty())
            chooseGameFolder(folder);
    });
    describeGame();

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
    const int players = s.playerCount();
    m_playerTable->setRowCount(players);
    for (int slot = 0; slot < players; ++slot) {
        const QStringList texts = {QStringLiteral("Player %1").arg(slot + 1),
            s.players.text(slot, PlayerTable::Field::Name), s.players.text(slot, PlayerTable::Field::Race),
            s.players.text(slot, PlayerTable::Field::Resources)};
        for (int column = 0; column < 4; ++column) {
            QTableWidgetItem* item = m_playerTable->item(slot, column);
            if (!item) {
                item = new QTableWidgetItem;
                if (column == 0)
                    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                m_playerTable->setItem(slot, column, item);
            }
            if (item->text() != texts[column])
                item->setText(texts[column]);
        }
    }
    const QStringList kept = m_editor.keptCallTexts();
    m_keptCaption->setText(QStringLiteral("Calls kept as the file gave them: %1").arg(kept.size()));
    if (m_keptCalls->count() != kept.size()
        || (m_keptCalls->count() > 0 && m_keptCalls->item(0)->text() != kept.first())) {
        m_keptCalls->clear();
        m_keptCalls->addItems(kept);
        for (int i = 0; i < m_keptCalls->count(); ++i)
            m_keptCalls->item(i)->setToolTip(kept[i]);
    }
    m_refreshing = false;
}

void OptionsWindow::showGames(const std::vector<GameInstall>& found, const GameSetup& setup, SettingsStore& store)
{
    m_store = &store;
    m_games.clear();
    m_gameFolder->clear();
    if (setup.game)
        addGame(*setup.game);
    for (const GameInstall& game : found)
        addGame(game);
    m_gameFolder->setCurrentIndex(m_games.empty() ? -1 : 0);
    m_modFolders->setText(setup.modFolders.join(QStringLiteral("; ")));
    m_gameChanged = false;
    m_problem.clear();
    describeGame();
}

void OptionsWindow::chooseGameFolder(const QString& folder)
{
    const std::vector<GameInstall> games = gamesInFolder(folder, QStringLiteral("Browse"));
    m_problem = games.empty() ? gameFolderProblem(folder) : QString();
    if (!games.empty()) {
        for (const GameInstall& game : games)
            addGame(game);
        const auto it = std::find_if(
            m_games.begin(), m_games.end(), [&](const GameInstall& g) { return g.folder == games.front().folder; });
        m_gameFolder->setCurrentIndex(static_cast<int>(it - m_games.begin()));
        m_gameChanged = true;
    }
    describeGame();
}

void OptionsWindow::addGame(const GameInstall& game)
{
    for (const GameInstall& g : m_games) {
        if (g.folder == game.folder)
            return;
    }
    m_games.push_back(game);
    m_gameFolder->addItem(QStringLiteral("%1: %2").arg(editionName(game.edition), game.folder), game.folder);
    m_gameFolder->setItemData(m_gameFolder->count() - 1, game.foundBy, Qt::ToolTipRole);
}

void OptionsWindow::describeGame()
{
    const int index = m_gameFolder->currentIndex();
    QString text;
    if (!m_problem.isEmpty())
        text = m_problem + QLatin1Char('.');
    else if (index < 0 || static_cast<std::size_t>(index) >= m_games.size())
        text = QStringLiteral("No game found: the built-in model names are used. Browse names the game's folder.");
    else
        text = QStringLiteral("Found by %1.").arg(m_games[static_cast<std::size_t>(index)].foundBy);
    if (m_gameChanged)
        text += QStringLiteral(" Used from the next start.");
    m_gameNote->setText(text);
    m_gameNote->setToolTip(text);
    m_gameFolder->setToolTip(m_gameFolder->currentText());
}

void OptionsWindow::closeEvent(QCloseEvent* event)
{
    // As "Done!": what the game can read is kept, what it cannot gets its earlier value back.
    if (!accept(true))
        event->ignore();
}

void OptionsWindow::keyPressEvent(QKeyEvent* event)
{
    // Escape, in whichever field has the focus, closes the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OptionsWindow::done()
{
    if (accept(false))
        hide();
}

bool OptionsWindow::accept(bool closing)
{
    if (m_store) {
        const int index = m_gameFolder->currentIndex();
        if (m_gameChanged && index >= 0 && static_cast<std::size_t>(index) < m_games.size())
            m_store->write(gameFolderKey, m_games[static_cast<std::size_t>(index)].folder);
        QStringList mods;
        for (const QString& mod : m_modFolders->text().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!mod.trimmed().isEmpty())
                mods << mod.trimmed();
        }
        storeModFolders(*m_store, mods);
    }
    // A refused value keeps the window open; the editor has said why.
    const bool stored = closing ? m_editor.closeOptions() : m_editor.acceptOptions();
    Q_EMIT handlerRan();
    refresh();
    return stored;
}

} // namespace starloom
