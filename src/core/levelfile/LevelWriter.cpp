#include "LevelWriter.h"

#include "document/ItemFields.h"
#include "document/Numbers.h"
#include "document/SettingsLines.h"
#include "levelfile/SafeFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace starloom {

namespace {

std::string latin1(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// Collects the script as 8-bit text; every line ends with CR LF.
class ScriptText {
public:
    explicit ScriptText(ModelLists& models) : m_models(models) { m_bytes.reserve(1 << 20); }

    ScriptText& operator<<(const char* text)
    {
        m_bytes.append(text);
        return *this;
    }
    ScriptText& operator<<(long long value)
    {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, value);
        m_bytes.append(buf, r.ptr - buf);
        return *this;
    }
    ScriptText& operator<<(int value) { return *this << static_cast<long long>(value); }
    ScriptText& operator<<(std::int16_t value) { return *this << static_cast<long long>(value); }
    // Unquoted text written as held (sizes and camera distances).
    ScriptText& operator<<(const QString& text)
    {
        m_bytes.append(text.toLatin1());
        return *this;
    }
    ScriptText& operator<<(std::string_view text)
    {
        m_bytes.append(text.data(), qsizetype(text.size()));
        return *this;
    }
    void end() { m_bytes.append("\r\n"); }

    // A quoted text with Lua escapes.
    void quoted(const QString& text) { *this << std::string_view(luaQuoted(latin1(text))); }
    void lua(const LuaValue& value) { *this << std::string_view(luaText(value)); }

    // The quoted model name of a record as the writer names it.
    void model(ItemKind kind, std::int16_t modelIndex, const QString& customName)
    {
        if (modelIndex == -1 || kindInfo(kind).numberedModels) {
            quoted(writtenModelName(kind, modelIndex, customName, m_models));
            return;
        }
        auto& cache = m_quotedEntries[static_cast<std::size_t>(typeIdOf(kind))];
        if (cache.empty()) {
            for (const QString& entry : m_models.list(kind))
                cache.push_back(QByteArray::fromStdString(luaQuoted(latin1(entry))));
        }
        if (modelIndex >= 0 && static_cast<std::size_t>(modelIndex) < cache.size())
            m_bytes.append(cache[static_cast<std::size_t>(modelIndex)]);
        else
            m_bytes.append("\"\"");
    }

    ModelLists& models() { return m_models; }
    QByteArray bytes() const { return m_bytes; }

private:
    ModelLists& m_models;
    QByteArray m_bytes;
    ByTypeId<std::vector<QByteArray>> m_quotedEntries;
};

template <class Rec> constexpr bool hasModel = !std::is_same_v<Rec, PlayerStartRecord>;
template <class Rec>
constexpr bool hasName =
    std::is_same_v<Rec, CloudRecord> || std::is_same_v<Rec, PropRecord> || std::is_same_v<Rec, ShipRecord>;

// Writes one item's call from the kind's layout: each argument from the record, or, for an item
// read from a file, as the file gave it wherever the record still holds the value read.
template <class Rec> class ItemCall {
public:
    ItemCall(ScriptText& out, ItemKind kind, const Rec& record, int slot)
        : m_out(out),
          m_kind(kind),
          m_layout(kindLayout(kind)),
          m_record(record),
          m_any(record),
          m_slot(slot),
          m_source(record.source.get()),
          m_asRead(m_source ? std::get_if<Rec>(&m_source->asRead) : nullptr)
    {
        if (!m_asRead)
            m_source = nullptr;
        if (m_source)
            m_args = m_source->arguments();
    }

    void write()
    {
        const std::vector<ArgShape>& shapes = m_layout.args;
        std::size_t n = shapes.size();
        if (m_source) {
            n = m_args.size();
            for (std::size_t i = n; i < shapes.size(); ++i) {
                if (changed(shapes[i]))
                    n = i + 1;
            }
        }
        m_out << "  " << kindInfo(m_kind).call << "(";
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0)
                m_out << ", ";
            const LuaValue* given = m_source && i < m_args.size() ? &m_args[i] : nullptr;
            if (i < shapes.size())
                arg(shapes[i], given);
            else if (given)
                m_out.lua(*given);
        }
        m_out << kindInfo(m_kind).callEnd;
        m_out.end();
    }

private:
    bool changed(const ArgShape& shape) const
    {
        switch (shape.role) {
        case ArgRole::Model:
        case ArgRole::Name:
            return modelChanged();
        case ArgRole::SlotName:
        case ArgRole::Kept:
            return false;
        case ArgRole::Position:
            return m_record.posX != m_asRead->posX || m_record.posY != m_asRead->posY
                || m_record.posZ != m_asRead->posZ;
        case ArgRole::Field:
            return fieldChanged(shape.field);
        case ArgRole::Table:
            break;
        }
        for (const ArgShape& e : shape.elements) {
            if (changed(e))
                return true;
        }
        return false;
    }

    bool modelChanged() const
    {
        if constexpr (hasModel<Rec>)
            return m_record.modelIndex != m_asRead->modelIndex || m_record.customName != m_asRead->customName;
        else
            return false;
    }

    bool fieldChanged(int index) const
    {
        const ItemField& f = m_layout.fields.at(static_cast<std::size_t>(index));
        return f.get && f.get(m_any) != f.get(m_source->asRead);
    }

    std::string fieldText(int index) const
    {
        const ItemField& f = m_layout.fields.at(static_cast<std::size_t>(index));
        if (!f.get)
            return "0";
        const double v = f.get(m_any);
        if (f.type == FieldType::Float32)
            return latin1(floatText(static_cast<float>(v)));
        if (f.colour)
            return latin1(colourComponentText(static_cast<std::int16_t>(v)));
        char buf[24];
        const auto end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v)).ptr;
        return std::string(buf, end);
    }

    void writeModel()
    {
        if constexpr (hasModel<Rec>) {
            if (m_modelSource && !modelChanged())
                m_out.lua(*m_modelSource);
            else
                m_out.model(m_kind, m_record.modelIndex, m_record.customName);
        }
    }

    const LuaValue* modelSource() const
    {
        if (!m_source)
            return nullptr;
        for (std::size_t i = 0; i < m_layout.args.size() && i < m_args.size(); ++i) {
            if (m_layout.args[i].role == ArgRole::Model)
                return &m_args[i];
        }
        return nullptr;
    }

    // The value of a table element or argument, with the user's changes put in.
    LuaValue merged(const ArgShape& shape, const LuaValue& given) const
    {
        if (shape.role == ArgRole::Field && fieldChanged(shape.field))
            return LuaValue::makeNumber(0, fieldText(shape.field));
        if (shape.role != ArgRole::Table && shape.role != ArgRole::Position)
            return given;
        LuaValue copy = given;
        if (shape.role == ArgRole::Position) {
            const std::array<std::pair<std::int32_t, std::int32_t>, 3> xyz = {
                {{m_record.posX, m_asRead->posX}, {m_record.posZ, m_asRead->posZ}, {m_record.posY, m_asRead->posY}}};
            for (std::size_t k = 0; k < 3 && k < copy.items.size(); ++k) {
                if (xyz[k].first != xyz[k].second)
                    copy.items[k] = LuaValue::makeNumber(xyz[k].first, std::to_string(xyz[k].first));
            }
            return copy;
        }
        for (std::size_t k = 0; k < shape.elements.size() && k < copy.items.size(); ++k)
            copy.items[k] = merged(shape.elements[k], copy.items[k]);
        return copy;
    }

    void canonical(const ArgShape& shape)
    {
        switch (shape.role) {
        case ArgRole::Model:
            writeModel();
            break;
        case ArgRole::Name:
            if constexpr (hasName<Rec>) {
                if (!m_record.name.isEmpty()) {
                    m_out.quoted(m_record.name);
                    break;
                }
            }
            writeModel();
            break;
        case ArgRole::SlotName:
            m_out << "\"StartPos" << m_slot << "\"";
            break;
        case ArgRole::Position:
            // Positions go top-view X, then height, then top-view Y.
            m_out << "{" << m_record.posX << ", " << m_record.posZ << ", " << m_record.posY << "}";
            break;
        case ArgRole::Field:
            m_out << std::string_view(fieldText(shape.field));
            break;
        case ArgRole::Table:
            m_out << "{";
            for (std::size_t k = 0; k < shape.elements.size(); ++k) {
                if (k > 0)
                    m_out << ", ";
                canonical(shape.elements[k]);
            }
            m_out << "}";
            break;
        case ArgRole::Kept:
            m_out << shape.keptText;
            break;
        }
    }

    void arg(const ArgShape& shape, const LuaValue* given)
    {
        if (!m_modelSearched) {
            m_modelSource = modelSource();
            m_modelSearched = true;
        }
        if (!given || shape.role == ArgRole::Model || shape.role == ArgRole::Name) {
            canonical(shape);
            return;
        }
        const bool shapeKept = (shape.role != ArgRole::Position && shape.role != ArgRole::Table) || given->isTable();
        if (!shapeKept && changed(shape)) {
            canonical(shape);
            return;
        }
        if (!changed(shape)) {
            m_out.lua(*given);
            return;
        }
        m_out.lua(merged(shape, *given));
    }

    ScriptText& m_out;
    ItemKind m_kind;
    const KindLayout& m_layout;
    const Rec& m_record;
    AnyRecord m_any;
    int m_slot;
    const ItemSource* m_source;
    const Rec* m_asRead;
    std::vector<LuaValue> m_args; // the source's arguments, read back for this call
    const LuaValue* m_modelSource = nullptr;
    bool m_modelSearched = false;
};

template <class Rec> void writeCall(ScriptText& out, ItemKind kind, const Rec& record, int slot = 0)
{
    ItemCall<Rec>(out, kind, record, slot).write();
}

// The items of every array kind whose chunk is `chunk`: first those of the kinds that belong in
// that chunk, then those of the others, each group in the order of the kind table.
void arrayItems(ScriptText& out, const LevelDocument& doc, Chunk chunk)
{
    auto kind = [&](ItemKind k) {
        const int n = doc.itemCount(k);
        for (int i = 0; i < n; ++i) {
            doc.visit(k, i, [&](const auto& r) {
                using Rec = std::decay_t<decltype(r)>;
                if constexpr (!std::is_same_v<Rec, PlayerStartRecord>) {
                    if (r.deleted == 0 && itemChunk(k, r.chunk) == chunk)
                        writeCall(out, k, r);
                }
            });
        }
    };
    for (const bool home : {true, false}) {
        for (ItemKind k : arrayKinds) {
            if ((kindInfo(k).chunk == chunk) == home)
                kind(k);
        }
    }
}

// The arguments of a level-wide line as the editor writes them.
void settingArgs(ScriptText& out, const MapSettings& s, const std::vector<SettingArg>& shapes)
{
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        if (i > 0)
            out << ", ";
        const SettingArg& shape = shapes[i];
        switch (shape.role) {
        case SettingRole::Number:
            out << s.*shape.member;
            break;
        case SettingRole::Text:
            out.quoted(QLatin1String(shape.text ? shape.text : "") + s.*shape.member);
            break;
        case SettingRole::Table:
            out << "{";
            settingArgs(out, s, shape.elements);
            out << "}";
            break;
        case SettingRole::Kept:
            out << shape.text;
            break;
        }
    }
}

// The value a bound setting is written as (a kept argument has none here: nil).
LuaValue settingValue(const MapSettings& s, const SettingArg& shape)
{
    if (!shape.member)
        return {};
    const QString& text = s.*shape.member;
    if (shape.role == SettingRole::Text)
        return LuaValue::makeString(latin1(QLatin1String(shape.text ? shape.text : "") + text));
    return LuaValue::makeNumber(val(text), latin1(text.trimmed()));
}

std::size_t settingCount(const std::vector<SettingArg>& shapes)
{
    std::size_t n = 0;
    for (const SettingArg& shape : shapes)
        n += (shape.member ? 1 : 0) + settingCount(shape.elements);
    return n;
}

// Puts into the arguments a file gave the settings the user changed since they were read
// (`asRead`, from `k` on); an argument missing before one put in is nil, or an empty table where
// the line has a table.
void putChanged(std::vector<LuaValue>& args, const std::vector<SettingArg>& shapes, const MapSettings& s,
    const QStringList& asRead, std::size_t& k)
{
    auto put = [&](std::size_t i, LuaValue v) {
        while (args.size() <= i) {
            const SettingArg& gap = shapes[args.size()];
            const bool table =
                gap.role == SettingRole::Table || (gap.text && gap.role == SettingRole::Kept && gap.text[0] == '{');
            args.push_back(table ? LuaValue::makeTable() : LuaValue{});
        }
        args[i] = std::move(v);
    };
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const SettingArg& shape = shapes[i];
        switch (shape.role) {
        case SettingRole::Number:
        case SettingRole::Text:
            if (asRead.value(qsizetype(k)) != s.*shape.member)
                put(i, settingValue(s, shape));
            ++k;
            break;
        case SettingRole::Table: {
            const std::size_t first = k;
            const std::size_t n = settingCount(shape.elements);
            QStringList now;
            for (const SettingArg& element : shape.elements)
                if (element.member)
                    now << s.*element.member;
            if (now == asRead.mid(qsizetype(first), qsizetype(n))) {
                k = first + n;
                break;
            }
            if (args.size() <= i || !args[i].isTable() || args[i].items.size() < shape.elements.size()) {
                LuaValue table = LuaValue::makeTable();
                for (const SettingArg& element : shape.elements)
                    table.items.push_back(settingValue(s, element));
                put(i, std::move(table));
            } else {
                putChanged(args[i].items, shape.elements, s, asRead, k);
            }
            k = first + n;
            break;
        }
        case SettingRole::Kept:
            break;
        }
    }
}

// One of the editor's level-wide lines: the call a file gave, with the settings the user changed
// put in, or the editor's own line.
void fixedLine(ScriptText& out, const MapSettings& s, FixedLine line)
{
    const SettingsLineLayout& layout = settingsLineLayout(line);
    const std::optional<FixedCall>& given = s.fixedCalls[static_cast<std::size_t>(line)];
    out << "  " << layout.call << "(";
    if (!given) {
        settingArgs(out, s, layout.args);
    } else {
        std::vector<LuaValue> args = given->call.args;
        std::size_t k = 0;
        putChanged(args, layout.args, s, given->settingsAsRead, k);
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (i > 0)
                out << ", ";
            out.lua(args[i]);
        }
    }
    out << ")";
    out.end();
}

Chunk fixedChunk(const MapSettings& s, FixedLine line)
{
    const std::optional<FixedCall>& given = s.fixedCalls[static_cast<std::size_t>(line)];
    return given ? given->call.chunk : fixedLineChunk(line);
}

void chunkEnd(ScriptText& out, const MapSettings& s, Chunk chunk)
{
    for (int i = 0; i < fixedLineCount; ++i) {
        const auto line = static_cast<FixedLine>(i);
        if (fixedChunk(s, line) == chunk)
            fixedLine(out, s, line);
    }
    for (const KeptCall& call : s.keptCalls) {
        if (call.chunk != chunk)
            continue;
        out << "  " << std::string_view(call.name) << "(";
        for (std::size_t i = 0; i < call.args.size(); ++i) {
            if (i > 0)
                out << ", ";
            out.lua(call.args[i]);
        }
        out << ")";
        out.end();
    }
}

void playerEntry(ScriptText& out, const LuaValue& key, const LuaValue& entry)
{
    out << "player[";
    out.lua(key);
    out << "] = ";
    if (!entry.isTable()) {
        out.lua(entry);
        out.end();
        out.end();
        return;
    }
    out << "{";
    out.end();
    for (const LuaValue& item : entry.items) {
        out << "  ";
        out.lua(item);
        out << ",";
        out.end();
    }
    for (const LuaField& f : entry.fields) {
        out << "  ";
        LuaValue one = LuaValue::makeTable();
        one.fields.push_back(f);
        const std::string text = luaText(one); // "{key = value}"
        out << std::string_view(text).substr(1, text.size() - 2) << ",";
        out.end();
    }
    out << "}";
    out.end();
    out.end();
}

void playerTable(ScriptText& out, const PlayerTable& table, int players)
{
    // The table's own entries in their order, then the standard entry of every player the table
    // has no room for: beyond its number of entries, and whose key is free.
    const int base = table.isListForm() ? 1 : 0;
    for (const LuaField& entry : table.entries())
        playerEntry(out, entry.key, entry.value);
    for (int slot = int(table.entries().size()); slot < players; ++slot) {
        const LuaValue key = LuaValue::makeNumber(slot + base);
        const bool keyTaken = std::any_of(
            table.entries().begin(), table.entries().end(), [&key](const LuaField& e) { return e.key.sameValue(key); });
        if (!table.entry(slot) && !keyTaken)
            playerEntry(out, key, PlayerTable::standardEntry(slot));
    }
}

} // namespace

std::vector<int> startsBeyondPlayerCount(const LevelDocument& document, int playerCount)
{
    std::vector<int> slots;
    for (int slot = std::max(playerCount, 0); slot < playerSlots; ++slot) {
        if (!document.player(slot).label.isEmpty())
            slots.push_back(slot);
    }
    return slots;
}

QString writtenModelName(ItemKind kind, std::int16_t modelIndex, const QString& customName, ModelLists& models)
{
    if (modelIndex == -1)
        return customName;
    if (const char* numbered = kindInfo(kind).numberedModels)
        return QLatin1String(numbered) + QString::number(modelIndex + 1);
    return models.entry(kind, modelIndex);
}

bool isWrittenModelName(
    ItemKind kind, std::int16_t modelIndex, const QString& customName, std::string_view name, ModelLists& models)
{
    const QLatin1StringView given(name.data(), qsizetype(name.size()));
    if (modelIndex == -1)
        return customName == given;
    if (const char* numbered = kindInfo(kind).numberedModels) {
        const std::string_view prefix(numbered);
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
            return false;
        char buf[16];
        const auto end = std::to_chars(buf, buf + sizeof buf, modelIndex + 1).ptr;
        return name.substr(prefix.size()) == std::string_view(buf, std::size_t(end - buf));
    }
    const QStringList& list = models.list(kind);
    return modelIndex >= 0 && modelIndex < list.size() && list[modelIndex] == given;
}

QString colourComponentText(std::int16_t c)
{
    if (c == 0)
        return QStringLiteral("0");
    if (c == 255)
        return QStringLiteral("1");
    return doubleText(c / 255.0);
}

QByteArray writeLevel(const Level& level, ModelLists& models, bool liveStartsOnly)
{
    const LevelDocument& doc = level.document;
    const MapSettings& settings = level.settings;
    ScriptText out(models);
    const int n = std::clamp(settings.playerCount(), 0, playerSlots);
    out << "-- Generated by Star Loom DX v" << versionText;
    out.end();
    out << "-- Star Loom by Quenrik";
    out.end();
    out << "-- StarloomDX by Vorlan, May 2004";
    out.end();
    out << "levelDesc = ";
    out.quoted(settings.levelDesc);
    out.end();
    out << "maxPlayers = " << n;
    out.end();
    out.end();
    out << "player = {}";
    out.end();
    out.end();
    playerTable(out, settings.players, n);
    for (const Chunk chunk : {Chunk::Determ, Chunk::NonDeterm}) {
        const bool determ = chunk == Chunk::Determ;
        out << (determ ? "function DetermChunk()" : "function NonDetermChunk()");
        out.end();
        if (!determ)
            arrayItems(out, doc, chunk);
        for (int i = 0; i < n; ++i) {
            const PlayerStartRecord& p = doc.player(i);
            if ((liveStartsOnly && p.label.isEmpty()) || itemChunk(ItemKind::PlayerStart, p.chunk) != chunk)
                continue;
            writeCall(out, ItemKind::PlayerStart, p, i);
        }
        if (determ)
            arrayItems(out, doc, chunk);
        chunkEnd(out, settings, chunk);
        out << "end";
        out.end();
        if (determ)
            out.end();
    }
    return out.bytes();
}

QString saveLevel(const QString& path, const Level& level, ModelLists& models, SaveOptions options)
{
    return saveFileAtomically(path, writeLevel(level, models, options.liveStartsOnly), options.replaceReadOnly);
}

} // namespace starloom
