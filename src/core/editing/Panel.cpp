#include "Panel.h"

#include "document/ItemFields.h"
#include "document/Numbers.h"

#include <cmath>
#include <limits>
#include <vector>

namespace starloom {

namespace {

// Converts one field text to its member's type; remembers the first field that cannot be stored.
class FieldReader {
public:
    explicit FieldReader(const std::array<PanelField, 4>& fields) : m_fields(fields) {}

    double value(int i, const ItemField& f, bool strict)
    {
        const QString& text = m_fields.at(static_cast<std::size_t>(i)).text;
        if (strict && !isStrictNumber(text)) {
            fail(i, QStringLiteral("must be a number"));
            return 0;
        }
        const double v = val(text);
        switch (f.type) {
        case FieldType::Float32:
            if (!std::isfinite(v) || std::abs(v) > double(std::numeric_limits<float>::max())) {
                fail(i, QStringLiteral("is too large"));
                return 0;
            }
            return double(static_cast<float>(v));
        case FieldType::Int16:
            if (const auto n = toInt16(v))
                return *n;
            fail(i, QStringLiteral("must lie between -32768 and 32767"));
            return 0;
        case FieldType::Int32:
            break;
        }
        if (const auto n = toInt32(v))
            return *n;
        fail(i, QStringLiteral("must lie between -2147483648 and 2147483647"));
        return 0;
    }

    const QString& error() const { return m_error; }

private:
    void fail(int i, const QString& what)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("\"%1\" %2.").arg(m_fields.at(static_cast<std::size_t>(i)).caption, what);
    }

    const std::array<PanelField, 4>& m_fields;
    QString m_error;
};

} // namespace

QString modeCaption(EditorMode mode)
{
    switch (mode) {
    case EditorMode::Placement:
        return QStringLiteral("Placement mode");
    case EditorMode::Editing:
        return QStringLiteral("Editing mode");
    case EditorMode::None:
        break;
    }
    return {};
}

QString Panel::modelText() const
{
    return modelIndex >= 0 && modelIndex < models.size() ? models[modelIndex] : QString();
}

void showKindControls(Panel& panel)
{
    const bool placing = panel.mode == EditorMode::Placement;
    for (PanelField& f : panel.fields) {
        f.captionVisible = false;
        f.textVisible = false;
        if (placing)
            f.text.clear();
    }
    panel.colourVisible = false;
    panel.heightControlsVisible = false;
    panel.applyVisible = false;
    panel.customVisible = false;
    if (!panel.kind)
        return;

    const KindLayout& layout = kindLayout(*panel.kind);
    const bool fieldsShown = !(placing && layout.fieldsOnlyWhenEditing);
    for (std::size_t i = 0; i < layout.fields.size() && i < panel.fields.size(); ++i) {
        const ItemField& itemField = layout.fields[i];
        PanelField& f = panel.fields[i];
        f.caption = QString::fromLatin1(itemField.caption);
        f.captionVisible = fieldsShown;
        f.textVisible = fieldsShown;
        if (placing)
            f.text = QString::fromLatin1(itemField.defaultText);
        panel.colourVisible = panel.colourVisible || itemField.colour;
    }
    if (layout.noFieldsCaption) {
        panel.fields[0].caption = QString::fromLatin1(layout.noFieldsCaption);
        panel.fields[0].captionVisible = true;
    }
    panel.applyVisible = fieldsShown;
    panel.heightControlsVisible = true;
}

QString storePanelFields(const Panel& panel, ItemKind kind, AnyRecord& record, bool placing)
{
    const KindLayout& layout = kindLayout(kind);
    FieldReader in(panel.fields);
    std::vector<double> values(layout.fields.size(), 0.0);
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const ItemField& f = layout.fields[i];
        if (f.set)
            values[i] = in.value(int(i), f, placing && f.strictWhenPlaced);
    }
    if (!in.error().isEmpty())
        return in.error();
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        if (layout.fields[i].set)
            layout.fields[i].set(record, values[i]);
    }
    return {};
}

void showRecordFields(Panel& panel, ItemKind kind, const AnyRecord& record)
{
    const KindLayout& layout = kindLayout(kind);
    for (std::size_t i = 0; i < layout.fields.size() && i < panel.fields.size(); ++i) {
        const ItemField& f = layout.fields[i];
        if (!f.get)
            continue;
        const double v = f.get(record);
        panel.fields[i].text =
            f.type == FieldType::Float32 ? floatText(static_cast<float>(v)) : intText(static_cast<long long>(v));
    }
}

QString customNameError(const Panel& panel)
{
    // A ship whose type is "meg_..." would come back from the file as a megalith.
    if (panel.kind == ItemKind::Ship && panel.customName.startsWith(QLatin1String("meg_"), Qt::CaseInsensitive))
        return QStringLiteral("A ship's custom model name must not begin with \"meg_\": it would load as a megalith.");
    if (panel.customName.isEmpty())
        return QStringLiteral("The custom model name must not be empty.");
    if (const auto c = firstNotLatin1(panel.customName))
        return notLatin1Message(QStringLiteral("The custom model name"), *c);
    return {};
}

std::optional<QChar> firstNotLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return c;
    }
    return std::nullopt;
}

QString notLatin1Message(const QString& what, QChar c)
{
    return QStringLiteral("%1 cannot hold the character \"%2\": the game reads 8-bit (Latin-1) text only.")
        .arg(what, c);
}

} // namespace starloom
