#pragma once

#include "document/Catalogue.h"
#include "document/ItemFields.h"
#include "document/ItemKind.h"
#include "document/Level.h"
#include "document/LevelDocument.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace starloom {

// What a click on the top view does: nothing yet (no kind chosen), place an item of the panel's
// kind, or move the item being edited.
enum class EditorMode { None, Placement, Editing };

// The caption Label7 shows: empty, "Placement mode" or "Editing mode".
QString modeCaption(EditorMode mode);

// One of the four labelled value fields of the property panel (Label1(i) and Text1(i)).
struct PanelField {
    QString caption;
    QString label; // the value's name and unit as the properties dock shows it
    QString tip;   // what the value does in the game
    QString text;
    bool captionVisible = false;
    bool textVisible = false;
    bool stored = true; // false: shown, but no record member takes it

    bool operator==(const PanelField&) const = default;
};

// The "Add Item" panel as plain data: the chosen kind and model, the value fields, the custom
// model name, the height controls, which controls show, and the mode.
struct Panel {
    std::optional<ItemKind> kind;
    QStringList models;
    int modelIndex = -1;
    std::array<PanelField, 4> fields;
    QString customName;
    bool customVisible = false;
    bool colourVisible = false;
    bool applyVisible = false;
    bool heightControlsVisible = false;
    bool setHeightChecked = false;
    QString setHeightText = QStringLiteral("0");
    bool randomHeightChecked = false;
    QString randomHeightText = QStringLiteral("300");
    EditorMode mode = EditorMode::None;

    QString modelText() const; // the selected entry, empty when none
    bool modelIsCustom() const { return modelText() == customEntry; }
    const PanelField& field(int i) const { return fields.at(static_cast<std::size_t>(i)); }
};

// Shows the controls of the panel's kind as its field table says (setVisible): the captions and
// fields, the colour and Apply buttons and the height controls. While placing, the fields start
// from their default texts; while editing they keep what they hold.
void showKindControls(Panel& panel);

// Converts the panel's field texts into `record` through the kind's field table. `placing` takes
// the fields marked strict as whole numbers; otherwise a field's leading number counts (0 if
// none). Returns the message for the first field that cannot be stored, and then stores nothing.
QString storePanelFields(const Panel& panel, ItemKind kind, AnyRecord& record, bool placing);

// Fills the panel's fields with the record's values, every field with a record member.
void showRecordFields(Panel& panel, ItemKind kind, const AnyRecord& record);

// A field's text as a value of its record member: the whole text a number (`strict`) or its
// leading number, within the member's range. nullopt, and the reason ("must be a number") in
// `why`, when it cannot be stored.
std::optional<double> fieldValue(const ItemField& field, const QString& text, bool strict, QString* why = nullptr);

// The text a record member's value is shown as.
QString fieldText(const ItemField& field, double value);

// A value field as it stands for several items at once.
struct SharedField {
    int index = 0; // the panel field, Text1(index)
    QString caption;
    QString label;
    QString tip;
    std::optional<QString> text; // the value every item holds; nullopt when they differ
    bool colour = false;         // a part of the items' colour (the Colour button sets it)

    bool operator==(const SharedField&) const = default;
};

// The value fields that every item of `rows` has (the same caption stored in the same record
// member, as clouds and nebulae share their colour), with the values the items share. Rows whose
// record is gone are left out; none left: no fields.
std::vector<SharedField> sharedFields(const Level& level, const std::vector<int>& rows);

// The message when the custom model name cannot be used for the panel's kind, or empty.
QString customNameError(const Panel& panel);

// The first character of `text` that the game's 8-bit text cannot hold, or nullopt.
std::optional<QChar> firstNotLatin1(const QString& text);
// "<what> cannot hold the character ...": the message for such a character.
QString notLatin1Message(const QString& what, QChar c);

} // namespace starloom
