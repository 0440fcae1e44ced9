#include "Panel.h"

#include "document/ItemFields.h"
#include "document/Numbers.h"

#include <cmath>
#include <limits>
#include <vector>

namespace starloom {

namespace {

// Converts the field texts to their members' types; remembers the first field that cannot be stored.
class FieldReader {
public:
    explicit FieldReader(const std::array<PanelField, 4>& fields) : m_fields(fields) {}

    double value(int i, const ItemField& f, bool strict)
    {
        const PanelField& shown = m_fields.at(static_cast<std::size_t>(i));
        QString why;
        if (const std::optional<double> v = fieldValue(f, shown.text, strict, &why))
            return *v;
        if (m_error.isEmpty())
            m_error = QStringLiteral("\"%1\" %2.").arg(shown.label.isEmpty() ? shown.caption : shown.label, why);
        return 0;
    }

    const QString& error() const { return m_error; }

private:
    const std::array<PanelField, 4>& m_fields;
    QString m_error;
};

} // namespace

std::optional<double> fieldValue(const ItemField& f, const QString& text, bool strict, QString* why)
{
    auto fail = [why](const char* what) -> std::optional<double> {
        if (why)
            *why = QString::fromLatin1(what);
        return std::nullopt;
    };
    if (strict && !isStrictNumber(text))
        return fail("must be a number");
    const double v = val(text);
    switch (f.type) {
    case FieldType::Float32:
        if (!std::isfinite(v) || std::abs(v) > double(std::numeric_limits<float>::max()))
            return fail("is too large");
        return double(static_cast<float>(v));
    case FieldType::Int16:
        if (const auto n = toInt16(v))
            return *n;
        return fail("must lie between -32768 and 32767");
    case FieldType::Int32:
        break;
    }
    if (const auto n = toInt32(v))
        return *n;
    return fail("must lie between -2147483648 and 2147483647");
}

QString fieldText(const ItemField& f, double value)
{
    return f.type == FieldType::Float32 ? floatText(static_cast<float>(value)) : intText(static_cast<long long>(value));
}

std::vector<SharedField> sharedFields(const Level& level, const std::vector<int>& rows)
{
    // The fields of the first item's kind, narrowed down by each further kind met.
    std::optional<ItemKind> firstKind;
    std::vector<SharedField> shared;
    std::vector<const ItemField*> members; // beside `shared`
    std::vector<bool> seenKind(kindCount + 1, false);
    for (const int row : rows) {
        const ObjectRow& r = level.rows.at(static_cast<std::size_t>(row));
        if (!level.document.exists(r.kind, r.arrayId))
            continue;
        const KindLayout& layout = kindLayout(r.kind);
        if (!firstKind) {
            firstKind = r.kind;
            for (std::size_t i = 0; i < layout.fields.size(); ++i) {
                const ItemField& f = layout.fields[i];
                if (!f.get)
                    continue;
                shared.push_back(
                    {int(i), QString::fromLatin1(f.caption), QString::fromLatin1(f.label ? f.label : f.caption),
                        QString::fromLatin1(f.tip), std::nullopt, f.colour});
                members.push_back(&f);
            }
        } else if (!seenKind[static_cast<std::size_t>(typeIdOf(r.kind))]) {
            for (std::size_t k = shared.size(); k-- > 0;) {
                const auto i = static_cast<std::size_t>(shared[k].index);
                const bool same = i < layout.fields.size() && layout.fields[i].get == members[k]->get
                    && shared[k].caption == QLatin1String(layout.fields[i].caption);
                if (!same) {
                    shared.erase(shared.begin() + std::ptrdiff_t(k));
                    members.erase(members.begin() + std::ptrdiff_t(k));
                }
            }
        }
        seenKind[static_cast<std::size_t>(typeIdOf(r.kind))] = true;
    }
    // Then the values: the first item's, kept while every other item holds it.
    std::vector<std::optional<double>> values(shared.size());
    std::vector<bool> differ(shared.size(), false);
    for (const int row : rows) {
        const ObjectRow& r = level.rows.at(static_cast<std::size_t>(row));
        if (!level.document.exists(r.kind, r.arrayId))
            continue;
        const AnyRecord record = level.document.record(r.kind, r.arrayId);
        for (std::size_t k = 0; k < shared.size(); ++k) {
            if (differ[k])
                continue;
            const double v = members[k]->get(record);
            if (!values[k])
                values[k] = v;
            else if (*values[k] != v)
                differ[k] = true;
        }
    }
    for (std::size_t k = 0; k < shared.size(); ++k) {
        if (values[k] && !differ[k])
            shared[k].text = fieldText(*members[k], *values[k]);
    }
    return shared;
}

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
        f.stored = true;
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
        f.label = QString::fromLatin1(itemField.label ? itemField.label : itemField.caption);
        f.tip = QString::fromLatin1(itemField.tip);
        f.stored = itemField.set != nullptr;
        f.captionVisible = fieldsShown;
        f.textVisible = fieldsShown;
        if (placing)
            f.text = QString::fromLatin1(itemField.defaultText);
        panel.colourVisible = panel.colourVisible || itemField.colour;
    }
    if (layout.noFieldsCaption) {
        panel.fields[0].caption = QString::fromLatin1(layout.noFieldsCaption);
        panel.fields[0].label = panel.fields[0].caption;
        panel.fields[0].tip.clear();
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
        panel.fields[i].text = fieldText(f, f.get(record));
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
