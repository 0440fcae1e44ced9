#include "PreferencesDialog.h"

#include "WidgetText.h"

#include "document/MapSettings.h"
#include "document/SettingsRules.h"
#include "editing/Editor.h"
#include "gamedata/SettingsStore.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace starloom {

PreferencesDialog::PreferencesDialog(Editor& editor, QWidget* parent) : QDialog(parent), m_editor(editor)
{
    setObjectName(QStringLiteral("frmPreferences"));
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowModality(Qt::WindowModal);
    QFont interfaceFont = font();
    interfaceFont.setPointSizeF(8);
    setFont(interfaceFont);

    auto* displayFrame = new QGroupBox(QStringLiteral("Starloom DX Options"));
    displayFrame->setObjectName(QStringLiteral("fraDisplayOptions"));
    auto* display = new QFormLayout(displayFrame);
    display->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_gridSize = new QLineEdit;
    m_gridSize->setObjectName(QStringLiteral("txtGridSize"));
    m_gridMark =
        m_gridSize->addAction(style()->standardIcon(QStyle::SP_MessageBoxWarning), QLineEdit::TrailingPosition);
    m_gridMark->setObjectName(QStringLiteral("txtGridSizeProblem"));
    m_gridMark->setVisible(false);
    display->addRow(QStringLiteral("Grid Size"), m_gridSize);
    m_fontSize = new QComboBox;
    m_fontSize->setObjectName(QStringLiteral("cmbFontSize"));
    m_fontSize->addItems(fontSizeEntries());
    display->addRow(QStringLiteral("Font Size"), m_fontSize);

    auto* gameFrame = new QGroupBox(QStringLiteral("Game Data"));
    gameFrame->setObjectName(QStringLiteral("fraGameData"));
    auto* game = new QFormLayout(gameFrame);
    game->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_gameFolder = new QComboBox;
    m_gameFolder->setObjectName(QStringLiteral("cmbGameFolder"));
    // The folders can be long: the combo shortens them rather than widen the dialog.
    m_gameFolder->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_gameFolder->setMinimumContentsLength(32);
    m_browseGame = new QPushButton(QStringLiteral("Browse..."));
    m_browseGame->setObjectName(QStringLiteral("cmdBrowseGame"));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_gameFolder, 1);
    folderRow->addWidget(m_browseGame);
    game->addRow(QStringLiteral("Game folder"), folderRow);
    m_gameNote = new QLabel;
    m_gameNote->setObjectName(QStringLiteral("lblGameFolder"));
    m_gameNote->setWordWrap(true);
    game->addRow(m_gameNote);
    m_modFolders = new QLineEdit;
    m_modFolders->setObjectName(QStringLiteral("txtModFolders"));
    m_modFolders->setToolTip(
        QStringLiteral("Data folders of mods, read after the game's Data folder; separate them with ;"));
    game->addRow(QStringLiteral("Mod folders"), m_modFolders);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("cmdPreferencesOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdPreferencesCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(displayFrame);
    layout->addWidget(gameFrame);
    layout->addStretch(1);
    layout->addWidget(buttons);

    connect(m_gridSize, &QLineEdit::textEdited, this, &PreferencesDialog::validate);
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
}

void PreferencesDialog::showPreferences()
{
    setTextIfChanged(m_gridSize, m_editor.gridSize());
    m_fontSize->setCurrentIndex(m_editor.fontSizeIndex());
    m_openedGame = m_gameFolder->currentIndex();
    m_openedMods = m_modFolders->text();
    m_openedGameChanged = m_gameChanged;
    validate();
    open();
    raise();
    activateWindow();
}

void PreferencesDialog::validate()
{
    const QString error = gridSizeError(m_gridSize->text());
    m_gridMark->setVisible(!error.isEmpty());
    m_gridMark->setToolTip(error);
    m_gridSize->setToolTip(error);
    m_ok->setEnabled(error.isEmpty());
}

void PreferencesDialog::accept()
{
    validate();
    if (!m_ok->isEnabled())
        return;
    m_editor.setGridSize(m_gridSize->text());
    m_editor.setFontSizeIndex(m_fontSize->currentIndex());
    if (!m_editor.acceptPreferences()) {
        Q_EMIT handlerRan();
        return;
    }
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
    Q_EMIT handlerRan();
    QDialog::accept();
}

void PreferencesDialog::reject()
{
    m_gameFolder->setCurrentIndex(m_openedGame);
    m_modFolders->setText(m_openedMods);
    m_gameChanged = m_openedGameChanged;
    m_problem.clear();
    describeGame();
    QDialog::reject();
}

void PreferencesDialog::showGames(const std::vector<GameInstall>& found, const GameSetup& setup, SettingsStore& store)
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

void PreferencesDialog::chooseGameFolder(const QString& folder)
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

void PreferencesDialog::addGame(const GameInstall& game)
{
    for (const GameInstall& g : m_games) {
        if (g.folder == game.folder)
            return;
    }
    m_games.push_back(game);
    m_gameFolder->addItem(QStringLiteral("%1: %2").arg(editionName(game.edition), game.folder), game.folder);
    m_gameFolder->setItemData(m_gameFolder->count() - 1, game.foundBy, Qt::ToolTipRole);
}

void PreferencesDialog::describeGame()
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

} // namespace starloom
