#include "OptionsWindow.h"

#include "WidgetText.h"

#include "document/MapSettings.h"
#include "document/SettingsRules.h"
#include "editing/Editor.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

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
        setComboText(static_cast<QComboBox*>(editor), index.data().toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }

private:
    const Editor& m_editor;
};

QComboBox* comboBox(bool editable)
{
    auto* combo = new QComboBox;
    combo->setEditable(editable);
    if (editable)
        combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

} // namespace

OptionsWindow::OptionsWindow(Editor& editor, QWidget* parent) : QDialog(parent), m_editor(editor)
{
    setObjectName(QStringLiteral("frmGlobals"));
    setWindowTitle(QStringLiteral("Level Settings"));
    setWindowModality(Qt::WindowModal);
    QFont interfaceFont = font();
    interfaceFont.setPointSizeF(8);
    setFont(interfaceFont);

    auto* mapFrame = new QGroupBox(QStringLiteral("Map Options"));
    mapFrame->setObjectName(QStringLiteral("fraMapOptions"));
    auto* form = new QFormLayout(mapFrame);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto row = [form](const char* caption, QWidget* field, const char* name) {
        field->setObjectName(QString::fromLatin1(name));
        form->addRow(QString::fromLatin1(caption), field);
    };
    row("FileName", m_levelDesc = new QLineEdit, "Text1");
    row("Players", m_players = comboBox(false), "cmbNoPlayers");
    row("SizeX", m_sizeX = new QLineEdit, "txtSizeX");
    row("SizeY", m_sizeY = new QLineEdit, "txtSizeY");
    row("SizeZ", m_sizeZ = new QLineEdit, "txtSizeZ");
    row("Background", m_background = comboBox(true), "cmbBackground");
    row("CameraMin", m_cameraMin = new QLineEdit, "Text7");
    row("CameraMax", m_cameraMax = new QLineEdit, "Text8");
    row("Music", m_music = comboBox(true), "cmbMusic");
    // The reasons of the fields marked, under them.
    m_problems = new QLabel;
    m_problems->setObjectName(QStringLiteral("lblProblems"));
    m_problems->setWordWrap(true);
    m_problems->hide();
    form->addRow(m_problems);

    // What a level holds beyond the fields on the left: each player's entry of the player table,
    // and the calls the editor keeps as the file gave them.
    auto* levelFrame = new QGroupBox(QStringLiteral("Players and Kept Calls"));
    levelFrame->setObjectName(QStringLiteral("fraPlayers"));
    auto* levelLayout = new QVBoxLayout(levelFrame);
    m_playerTable = new QTableWidget(0, 4);
    m_playerTable->setObjectName(QStringLiteral("tblPlayers"));
    m_playerTable->setHorizontalHeaderLabels(
        {QStringLiteral("Player"), QStringLiteral("Name"), QStringLiteral("Race"), QStringLiteral("Resources")});
    m_playerTable->verticalHeader()->hide();
    m_playerTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* header = m_playerTable->horizontalHeader();
    // The names take the room the other columns leave them; the table is as wide as its columns
    // need, so it never scrolls sideways.
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    m_playerTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_playerTable->setItemDelegateForColumn(2, new RaceDelegate(m_editor, m_playerTable));
    m_playerTable->setToolTip(QStringLiteral("Race: raceID 1 or 2, or raceName Hiigaran or Vaygr (a number is written "
                                             "as raceID, a name as raceName); a mod's own race can be typed"));
    levelLayout->addWidget(m_playerTable, 3);
    m_keptCaption = new QLabel;
    m_keptCaption->setObjectName(QStringLiteral("lblKeptCalls"));
    levelLayout->addWidget(m_keptCaption);
    m_keptCalls = new QListWidget;
    m_keptCalls->setObjectName(QStringLiteral("lstKeptCalls"));
    m_keptCalls->setSelectionMode(QAbstractItemView::NoSelection);
    levelLayout->addWidget(m_keptCalls, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("Command1")); // "Done!"
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsWindow::reject);

    auto* columns = new QHBoxLayout;
    columns->addWidget(mapFrame, 0, Qt::AlignTop);
    columns->addWidget(levelFrame, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(buttons);

    m_players->addItems(playerCountEntries());
    m_background->addItems(backgroundEntries());
    m_music->addItems(musicEntries());

    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    m_ruled = {m_sizeX, m_sizeY, m_sizeZ, m_cameraMin, m_cameraMax};
    for (std::size_t i = 0; i < m_ruled.size(); ++i) {
        m_marks[i] = m_ruled[i]->addAction(warning, QLineEdit::TrailingPosition);
        m_marks[i]->setObjectName(m_ruled[i]->objectName() + QStringLiteral("Problem"));
        m_marks[i]->setVisible(false);
        connect(
            m_ruled[i], &QLineEdit::textEdited, this, [this, field = ruledSettings()[i].field](const QString& text) {
                if (m_refreshing)
                    return;
                m_editor.mapSettings().*field = text;
                validate();
            });
    }
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

    refresh();
}

void OptionsWindow::showForLevel()
{
    m_editor.beginOptions();
    refresh();
    open();
    raise();
    activateWindow();
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
    // As wide as the columns need with the vertical scroll bar shown.
    QHeaderView* header = m_playerTable->horizontalHeader();
    int width = 2 * m_playerTable->frameWidth() + m_playerTable->verticalScrollBar()->sizeHint().width();
    const int padding = 2 * m_playerTable->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
    for (int column = 0; column < 4; ++column) {
        int columnWidth = header->sectionSizeHint(column);
        for (int slot = 0; slot < players; ++slot)
            columnWidth = std::max(columnWidth,
                m_playerTable->fontMetrics().horizontalAdvance(m_playerTable->item(slot, column)->text()) + padding);
        width += columnWidth;
    }
    m_playerTable->setMinimumWidth(width);
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
    validate();
}

void OptionsWindow::validate()
{
    QStringList problems;
    for (std::size_t i = 0; i < m_ruled.size(); ++i) {
        const QString error = settingError(ruledSettings()[i], m_ruled[i]->text());
        m_marks[i]->setVisible(!error.isEmpty());
        m_marks[i]->setToolTip(error);
        m_ruled[i]->setToolTip(error);
        if (!error.isEmpty())
            problems << error;
    }
    m_problems->setText(problems.join(QLatin1Char('\n')));
    m_problems->setVisible(!problems.isEmpty());
    m_ok->setEnabled(problems.isEmpty());
}

void OptionsWindow::accept()
{
    validate();
    if (!m_ok->isEnabled())
        return;
    // A refused value keeps the dialog open; the editor has said why.
    const bool stored = m_editor.acceptOptions();
    Q_EMIT handlerRan();
    refresh();
    if (stored)
        QDialog::accept();
}

void OptionsWindow::reject()
{
    m_editor.cancelOptions();
    Q_EMIT handlerRan();
    refresh();
    QDialog::reject();
}

} // namespace starloom
