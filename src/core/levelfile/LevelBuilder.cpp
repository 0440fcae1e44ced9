#include "LevelBuilder.h"

#include "ItemCalls.h"
#include "LevelWriter.h"

#include "document/Numbers.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace starloom {

namespace {

constexpr std::size_t maxKeptProblems = 1000;

QString latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// A whole number written exactly as the writer writes it.
bool intAsWritten(const LuaValue& v, long long n)
{
    if (!v.isNumber())
        return false;
    if (v.text.empty())
        return v.number == double(n) && !(n == 0 && std::signbit(v.number));
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, n).ptr;
    return v.text == std::string_view(buf, std::size_t(end - buf));
}

bool numberAsWritten(const LuaValue& v, const QString& written)
{
    if (!v.isNumber())
        return false;
    if (v.text.empty())
        return val(written) == v.number;
    return written == QLatin1StringView(v.text.data(), qsizetype(v.text.size()));
}

// The value of the writer's text of each colour component, read once.
double componentValue(std::int16_t c)
{
    static const std::array<double, 256> values = [] {
        std::array<double, 256> v;
        for (int i = 0; i < 256; ++i)
            v[std::size_t(i)] = val(QString::fromStdString(componentText(std::int16_t(i))));
        return v;
    }();
    return values[std::size_t(c)];
}

bool componentAsWritten(const LuaValue& v, std::int16_t c)
{
    if (!v.isNumber() || c < 0 || c > 255)
        return false;
    if (v.text.empty())
        return componentValue(c) == v.number;
    return v.text == componentText(c);
}

// The value of a plain whole number ("0", "-1"), nullopt for any other text.
std::optional<long long> plainInteger(std::string_view text)
{
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '9')
        return text[0] - '0';
    long long n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || text.empty() || text == "-0")
        return std::nullopt;
    return n;
}

// Whether `v` is the value the writer writes as `text`. A number read from a file is so when its
// numeral is the text; one a script computed (`computed`, no numeral) when it has the text's value.
bool keptAsWritten(const LuaValue& v, std::string_view text, bool computed)
{
    if (v.isNumber()) {
        if (!v.text.empty())
            return v.text == text;
        if (computed) {
            double n = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
            return error == std::errc() && end == text.data() + text.size() && n == v.number
                && std::signbit(n) == std::signbit(v.number);
        }
        const auto n = plainInteger(text);
        return n && v.number == double(*n) && !(v.number == 0 && std::signbit(v.number));
    }
    if (v.isString())
        return text.size() >= 2 && text.front() == '"' && text.substr(1, text.size() - 2) == v.text;
    if (v.isTable() && v.fields.empty() && text.size() >= 2 && text.front() == '{' && text.back() == '}') {
        // "{0, 0, 0}": element by element
        std::string_view rest = text.substr(1, text.size() - 2);
        for (const LuaValue& item : v.items) {
            const std::size_t comma = rest.find(", ");
            if (rest.empty() || !keptAsWritten(item, rest.substr(0, comma), computed))
                return false;
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 2);
        }
        return rest.empty();
    }
    return luaText(v) == text;
}

} // namespace

const std::string& componentText(std::int16_t c)
{
    static const std::array<std::string, 256> texts = [] {
        std::array<std::string, 256> t;
        for (int i = 0; i < 256; ++i)
            t[std::size_t(i)] = colourComponentText(std::int16_t(i)).toStdString();
        return t;
    }();
    static const std::string none;
    return c >= 0 && c <= 255 ? texts[std::size_t(c)] : none;
}

std::optional<ItemKind> itemKindOf(std::string_view n, std::optional<std::string_view> type)
{
    std::optional<ItemKind> found;
    for (const KindInfo& info : kindTable) {
        const std::string_view call = info.call;
        if (n.size() != call.size() || n != call)
            continue;
        if (!info.typePrefix) {
            found = found ? found : info.kind;
            continue;
        }
        const QLatin1StringView prefix(info.typePrefix);
        if (type && type->size() >= std::size_t(prefix.size())
            && QLatin1StringView(type->data(), prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0)
            return info.kind;
    }
    return found;
}

bool rowShowsName(ItemKind kind)
{
    const KindInfo& info = kindInfo(kind);
    return *info.itemText == '\0' && info.layout != RecordLayout::PlayerSlots;
}

namespace {

const LuaValue* argAt(const std::vector<LuaValue>& args, std::size_t i)
{
    return i < args.size() ? &args[i] : nullptr;
}

// True when an addPoint call names a player's start point: "StartPos" and a number.
bool namesStartPoint(const LevelCall& c)
{
    const LuaValue* name = argAt(c.args, 0);
    if (!name || !name->isString())
        return true; // reported as a start point that names no slot
    return QLatin1StringView(name->text.data(), qsizetype(name->text.size())).startsWith(QLatin1String("StartPos"));
}

} // namespace

LevelBuilder::LevelBuilder(Level& level, ModelLists& models)
    : m_doc(level.document),
      m_settings(level.settings),
      m_rows(level.rows),
      m_models(models),
      m_notSearchedBefore(models.namesNotSearched())
{
}

void LevelBuilder::stopped(qint64 line, const QString& reason)
{
    m_result.problems.insert(m_result.problems.begin() + static_cast<std::ptrdiff_t>(m_stops), {line, reason});
    ++m_stops;
}

void LevelBuilder::problem(qint64 line, const QString& reason)
{
    // Notes on the whole file (line 0) are few and say what to do next: always kept.
    if (line == 0 || m_result.problems.size() < maxKeptProblems + m_fileNotes + m_stops) {
        m_fileNotes += line == 0;
        m_result.problems.push_back({line, reason});
        return;
    }
    ++m_unlisted;
}

ReadResult LevelBuilder::finish()
{
    if (const qint64 n = m_models.namesNotSearched() - m_notSearchedBefore; n > 0)
        problem(0,
            QStringLiteral("%1 model names that equal no entry of the model lists were not searched for within "
                           "the entries (the file holds too many different ones); their items keep the names as "
                           "written and show as custom models")
                .arg(n));
    m_notSearchedBefore = m_models.namesNotSearched();
    ReadResult result = std::move(m_result);
    if (m_unlisted > 0)
        result.problems.push_back({0, QStringLiteral("%1 more problems not listed").arg(m_unlisted)});
    m_result = {};
    m_unlisted = 0;
    m_fileNotes = 0;
    m_stops = 0;
    return result;
}

LevelBuilder::ModelSeen& LevelBuilder::lookUpModel(ItemKind kind, std::string_view name)
{
    auto& cache = m_modelCache[static_cast<std::size_t>(typeIdOf(kind))];
    if (const auto it = cache.find(name); it != cache.end())
        return it->second;
    QString text = QString::fromLatin1(name.data(), qsizetype(name.size()));
    std::int16_t index = m_models.lookup(kind, text);
    // "Custom" ends the lists that have it and names no model: such a name is a custom one.
    if (index >= 0 && m_models.entry(kind, index) == customEntry)
        index = -1;
    // Records share the text: the entry it names, or the custom name.
    if (index >= 0)
        text = m_models.entry(kind, index);
    return cache.emplace(name, ModelSeen{index, -1, std::move(text)}).first->second;
}

namespace {

// What becomes of an item's argument that is not a number the map can use.
QString usesZero()
{
    return QStringLiteral("the map uses 0, and the call is saved as it was read unless the item is changed");
}

} // namespace

bool LevelBuilder::number(const LuaValue* value, const char* what, double& out, bool component, bool tell)
{
    if (value && value->isNumber()) [[likely]] {
        out = value->number;
        return true;
    }
    out = 0;
    if (value && value->isString()) {
        // The game's functions take a text that is a number as that number.
        const QString text = latin1(value->text);
        if (isLuaNumber(text)) {
            out = val(text);
            return true;
        }
    }
    if (!tell)
        return false;
    const QString name = QLatin1String(what) + (component ? QStringLiteral(" component") : QString());
    if (!value || value->isNil())
        problem(m_line, QStringLiteral("the %1 is missing; %2").arg(name, usesZero()));
    else
        problem(m_line,
            QStringLiteral("the %1 %2 is not a number; %3")
                .arg(name, QString::fromStdString(luaText(*value)), usesZero()));
    return false;
}

std::int32_t LevelBuilder::int32(const LuaValue* value, const char* what, bool& asWritten)
{
    if (value && value->isNumber() && value->text.empty()) {
        // A whole number written plainly: as written, and no rounding needed.
        const double d = value->number;
        if (d >= -2147483648.0 && d <= 2147483647.0) {
            const auto n = static_cast<std::int32_t>(d);
            if (double(n) == d && !(n == 0 && std::signbit(d)))
                return n;
        }
    }
    double v = 0;
    number(value, what, v);
    if (const auto n = toInt32(v)) {
        asWritten = asWritten && value && intAsWritten(*value, *n);
        return *n;
    }
    asWritten = false;
    const std::int32_t clamped = toInt32Clamped(v);
    problem(m_line,
        QStringLiteral("the %1 %2 is outside the 32-bit range; the map uses %3, and the call is saved as it was read "
                       "unless the item is changed")
            .arg(QLatin1String(what), value ? QString::fromStdString(luaText(*value)) : QString(), intText(clamped)));
    return clamped;
}

template <class Rec>
void LevelBuilder::fillArg(
    const KindLayout& layout, const ArgShape& shape, const LuaValue* value, AnyRecord& any, bool& asWritten)
{
    Rec& r = std::get<Rec>(any);
    switch (shape.role) {
    case ArgRole::Model:
        break; // read first, by fill()
    case ArgRole::Name:
        if constexpr (hasName<Rec>) {
            if (value && value->isString()) {
                if (value->text != m_modelAsRead)
                    r.name = sharedName(value->text);
            } else {
                problem(m_line, QStringLiteral("the name is not a quoted text; the model's name is written instead"));
                r.name.clear();
                asWritten = false;
            }
        }
        break;
    case ArgRole::SlotName:
        if (!value || !value->isString() || value->text != "StartPos" + std::to_string(m_slot))
            asWritten = false;
        break;
    case ArgRole::Position: {
        const bool table = value && value->isTable();
        asWritten = asWritten && table && value->items.size() == 3 && value->fields.empty();
        const LuaValue* x = table ? value->at(1) : nullptr;
        const LuaValue* z = table ? value->at(2) : nullptr;
        const LuaValue* y = table ? value->at(3) : nullptr;
        if (!table)
            problem(m_line,
                QStringLiteral("the position %1 is not a table of three numbers; the map uses 0, 0, 0, and the call "
                               "is saved as it was read unless the item is changed")
                    .arg(value ? QString::fromStdString(luaText(*value)) : QStringLiteral("nil")));
        if (!table)
            break;
        // Positions are written top-view x, height, top-view y.
        r.posX = int32(x, "x position", asWritten);
        r.posZ = int32(z, "height", asWritten);
        r.posY = int32(y, "y position", asWritten);
        break;
    }
    case ArgRole::Field: {
        const ItemField& f = layout.fields.at(static_cast<std::size_t>(shape.field));
        if (!f.set)
            break;
        double v = 0;
        number(value, f.what, v, f.colour);
        auto what = [&f] { return QLatin1String(f.what) + (f.colour ? QStringLiteral(" component") : QString()); };
        if (f.type == FieldType::Float32) {
            if (std::fabs(v) > double(std::numeric_limits<float>::max())) {
                problem(m_line, QStringLiteral("the %1 %2 is out of range; %3").arg(what(), doubleText(v), usesZero()));
                v = 0;
            }
            const auto single = static_cast<float>(v);
            f.set(any, double(single));
            asWritten = asWritten && value && numberAsWritten(*value, floatText(single));
            break;
        }
        if (f.colour)
            v *= 255.0;
        const bool sixteen = f.type == FieldType::Int16;
        const std::optional<long long> exact =
            sixteen ? std::optional<long long>(toInt16(v)) : std::optional<long long>(toInt32(v));
        const long long stored = exact ? *exact : (sixteen ? toInt16Clamped(v) : toInt32Clamped(v));
        const QString asRead = value ? QString::fromStdString(luaText(*value)) : QString();
        if (f.colour && (v < 0 || v > 255)) {
            // The game reads a colour's components from 0 to 1.
            problem(m_line,
                QStringLiteral("the %1 %2 is outside 0 to 1; the call is saved as it was read unless the item is "
                               "changed")
                    .arg(what(), asRead));
        } else if (!exact) {
            const QString range =
                sixteen ? QStringLiteral("outside -32768 to 32767") : QStringLiteral("outside the 32-bit range");
            problem(m_line,
                QStringLiteral("the %1 %2 is %3; the map uses %4, and the call is saved as it was read unless the "
                               "item is changed")
                    .arg(what(), asRead, range, intText(stored)));
        }
        f.set(any, double(stored));
        if (f.colour)
            asWritten = asWritten && exact && value && componentAsWritten(*value, std::int16_t(stored));
        else
            asWritten = asWritten && exact && value && intAsWritten(*value, stored);
        break;
    }
    case ArgRole::Table: {
        const bool table = value && value->isTable();
        asWritten = asWritten && table && value->items.size() == shape.elements.size() && value->fields.empty();
        for (std::size_t j = 0; j < shape.elements.size(); ++j)
            fillArg<Rec>(layout, shape.elements[j], table ? value->at(double(j + 1)) : nullptr, any, asWritten);
        break;
    }
    case ArgRole::Kept:
        asWritten = asWritten && value && keptAsWritten(*value, shape.keptText, m_computedNumbers);
        break;
    }
}

template <class Rec> bool LevelBuilder::fill(ItemKind kind, const LevelCall& call, AnyRecord& any, bool& asWritten)
{
    const KindLayout& layout = kindLayout(kind);
    Rec& r = std::get<Rec>(any);
    asWritten = call.args.size() == layout.args.size();
    for (std::size_t i = 0; i < layout.args.size(); ++i) {
        if (layout.args[i].role == ArgRole::SlotName) {
            const LuaValue* v = argAt(call.args, i);
            const QString text = v && v->isString() ? latin1(v->text) : QString();
            const QString n = QString(text).remove(QStringLiteral("StartPos"));
            const auto slot = toInt32(val(n));
            if (!v || !v->isString() || !isStrictNumber(n) || !slot || *slot < 0 || *slot >= playerSlots) {
                problem(m_line,
                    QStringLiteral("the start point %1 names no player slot from 0 to %2; skipped")
                        .arg(v ? QString::fromStdString(luaText(*v)) : QStringLiteral("nil"))
                        .arg(playerSlots - 1));
                ++m_result.itemsLeftOut;
                return false;
            }
            m_slot = *slot;
        }
        if constexpr (hasModel<Rec>) {
            if (layout.args[i].role != ArgRole::Model)
                continue;
            const LuaValue* v = argAt(call.args, i);
            if (!v || !v->isString()) {
                problem(m_line,
                    QStringLiteral("the model name %1 is not a quoted text; the item was skipped")
                        .arg(v ? QString::fromStdString(luaText(*v)) : QStringLiteral("nil")));
                return false;
            }
            const ModelSeen& seen = seenModel(kind, v->text);
            r.modelIndex = seen.index;
            if (r.modelIndex == -1)
                r.customName = seen.text;
            asWritten = asWritten && isWrittenModelName(kind, r.modelIndex, r.customName, v->text, m_models);
            m_modelAsRead = v->text;
        }
    }
    for (std::size_t i = 0; i < layout.args.size(); ++i)
        fillArg<Rec>(layout, layout.args[i], argAt(call.args, i), any, asWritten);
    return true;
}

void LevelBuilder::item(ItemKind kind, const LevelCall& call)
{
    AnyRecord any = blankRecord(kind);
    bool asWritten = true;
    const bool read = std::visit(
        [&](auto& r) {
            using Rec = std::decay_t<decltype(r)>;
            return fill<Rec>(kind, call, any, asWritten);
        },
        any);
    if (!read)
        return;
    if (kindInfo(kind).layout == RecordLayout::PlayerSlots) {
        if (const std::optional<qint64> firstLine = m_startLines[static_cast<std::size_t>(m_slot)]) {
            const bool kept = call.chunk != Chunk::Other;
            problem(m_line,
                QStringLiteral("StartPos%1 is placed again (first at line %2): the game takes the first as Player %3's "
                               "start; %4")
                    .arg(m_slot)
                    .arg(*firstLine)
                    .arg(m_slot + 1)
                    .arg(kept ? QStringLiteral("this one is kept as a call") : QStringLiteral("this one was skipped")));
            if (kept) {
                m_settings.keptCalls.push_back({call.name, call.args, call.chunk});
                ++m_result.callsKept;
            } else {
                ++m_result.itemsLeftOut;
            }
            return;
        }
    }
    const LuaValue* first = argAt(call.args, 0);
    const bool named = rowShowsName(kind) && first && first->isString();
    const QString firstText = named ? sharedName(first->text) : QString();
    store(kind, any, call.chunk, asWritten, &call.args, named ? &firstText : nullptr);
}

QString LevelBuilder::sharedName(std::string_view name)
{
    if (m_lastName != QLatin1StringView(name.data(), qsizetype(name.size())))
        m_lastName = QString::fromLatin1(name.data(), qsizetype(name.size()));
    return m_lastName;
}

void LevelBuilder::store(ItemKind kind, AnyRecord& any, Chunk callChunk, bool asWritten,
    const std::vector<LuaValue>* args, const QString* firstText)
{
    const Chunk chunk = callChunk == Chunk::Other || callChunk == kindInfo(kind).chunk ? Chunk::Other : callChunk;
    asWritten = asWritten && chunk == Chunk::Other;
    QString text;
    std::optional<std::int16_t> index;
    std::visit(
        [&](auto& r) {
            using Rec = std::decay_t<decltype(r)>;
            r.chunk = chunk;
            if constexpr (std::is_same_v<Rec, PlayerStartRecord>) {
                r.label = QStringLiteral("Player %1").arg(m_slot + 1);
                r.drawColour = m_doc.player(m_slot).drawColour;
            } else {
                r.drawColour = kindInfo(kind).drawColour;
            }
            if (!asWritten && args) {
                auto source = std::make_shared<ItemSource>();
                source->args = encodeLuaValues(*args);
                source->asRead = r;
                r.source = SharedValue<ItemSource>(std::move(source));
            }
            if constexpr (std::is_same_v<Rec, PlayerStartRecord>) {
                m_startLines[static_cast<std::size_t>(m_slot)] = m_line;
                m_doc.player(m_slot) = r;
                index = static_cast<std::int16_t>(m_slot);
                text = QStringLiteral("Player %1 start").arg(m_slot + 1);
            } else {
                if constexpr (hasName<Rec>) {
                    if (rowShowsName(kind)) {
                        text = firstText ? *firstText : r.customName;
                        if (text.isEmpty() && r.modelIndex >= 0)
                            text = m_models.entry(kind, r.modelIndex);
                    }
                }
                index = m_doc.appendItem(kind, r);
            }
        },
        any);
    if (!index) {
        problem(m_line,
            QStringLiteral("the level already holds %1 records of the kind %2; the item was skipped")
                .arg(maxRecordsPerKind)
                .arg(QLatin1String(kindInfo(kind).name)));
        ++m_result.itemsLeftOut;
        return;
    }
    ++m_result.itemsRead;
    if (text.isEmpty()) {
        // "Asteroid #12": formed in one buffer, one allocation per item.
        char buffer[48];
        const char* prefix = kindInfo(kind).itemText;
        const std::size_t length = std::strlen(prefix);
        std::memcpy(buffer, prefix, length);
        const auto end = std::to_chars(buffer + length, buffer + sizeof buffer, *index + 1).ptr;
        text = QString::fromLatin1(buffer, end - buffer);
    }
    m_rows.push_back(ObjectRow{std::move(text), kind, *index});
}

namespace {

// What becomes of a level-wide setting the file gives in a form the editor cannot show.
QString settingKept(const QString& shown)
{
    return QStringLiteral("the Level Settings show %1, and the call is saved as it was read until they are changed")
        .arg(shown);
}

} // namespace

QString LevelBuilder::settingNumber(const LuaValue* value, const QString& current, const char* what)
{
    if (value && value->isNumber() && std::isfinite(value->number))
        return value->text.empty() ? QString::fromStdString(luaNumeral(value->number)) : latin1(value->text);
    if (value && value->isString() && isLuaNumber(latin1(value->text)))
        return latin1(value->text).trimmed();
    problem(m_line,
        QStringLiteral("the %1 %2; %3")
            .arg(QLatin1String(what),
                value && !value->isNil() ? QString::fromStdString(luaText(*value)) + QStringLiteral(" is not a number")
                                         : QStringLiteral("is missing"),
                settingKept(current)));
    return current;
}

void LevelBuilder::readSettings(
    const std::vector<SettingArg>& shapes, const std::vector<LuaValue>* values, QStringList& asRead)
{
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const SettingArg& shape = shapes[i];
        const LuaValue* value = values ? argAt(*values, i) : nullptr;
        switch (shape.role) {
        case SettingRole::Number: {
            QString& setting = m_settings.*shape.member;
            setting = settingNumber(value, setting, shape.what);
            asRead << setting;
            break;
        }
        case SettingRole::Text: {
            QString& setting = m_settings.*shape.member;
            if (value && value->isString()) {
                setting = latin1(value->text);
                if (shape.text)
                    setting.remove(QLatin1String(shape.text));
            } else {
                problem(m_line,
                    QStringLiteral("the %1 is not a quoted text; %2")
                        .arg(QLatin1String(shape.what), settingKept(QLatin1Char('"') + setting + QLatin1Char('"'))));
            }
            asRead << setting;
            break;
        }
        case SettingRole::Table: {
            const bool table = value && value->isTable();
            if (!table)
                problem(m_line, QLatin1String(shape.what));
            readSettings(shape.elements, table ? &value->items : nullptr, asRead);
            break;
        }
        case SettingRole::Kept:
            break;
        }
    }
}

void LevelBuilder::fixedLine(FixedLine line, const LevelCall& call)
{
    m_fixedTaken[static_cast<std::size_t>(line)] =
        FixedTaken{true, m_settings.keptCalls.size() - m_putBack.size(), m_fixedOrder++};
    QStringList asRead;
    readSettings(settingsLineLayout(line).args, &call.args, asRead);
    if (line == FixedLine::WorldBoundsInner)
        m_result.worldBoundsRead = true;
    m_settings.fixedCalls[static_cast<std::size_t>(line)] =
        FixedCall{KeptCall{call.name, call.args, call.chunk}, asRead};
}

void LevelBuilder::putBackFixed(FixedLine line)
{
    const std::size_t i = static_cast<std::size_t>(line);
    const FixedTaken& taken = m_fixedTaken[i];
    // Back where it was read among the kept calls: after the calls kept before it, and after the
    // lines put back that were read before it.
    std::size_t at = taken.keptBefore;
    for (const auto& other : m_putBack)
        at += other < taken.at();
    std::optional<FixedCall>& fixed = m_settings.fixedCalls[i];
    m_settings.keptCalls.insert(m_settings.keptCalls.begin() + std::ptrdiff_t(at), std::move(fixed->call));
    fixed.reset();
    m_putBack.push_back(taken.at());
    ++m_result.callsKept;
}

void LevelBuilder::call(const LevelCall& c)
{
    m_line = c.line;
    const std::string& n = c.name;
    const LuaValue* type = argAt(c.args, 1);
    const std::optional<ItemKind> kind =
        itemKindOf(n, type && type->isString() ? std::optional<std::string_view>(type->text) : std::nullopt);
    if (kind && kindInfo(*kind).layout == RecordLayout::PlayerSlots && !namesStartPoint(c)) {
        // A named point of the map ("fx_point1"), not a player's start: kept as it is.
        if (c.chunk != Chunk::Other) {
            m_settings.keptCalls.push_back({c.name, c.args, c.chunk});
            ++m_result.callsKept;
            return;
        }
    }
    if (kind) {
        item(*kind, c);
        return;
    }
    if (c.chunk == Chunk::Other) {
        problem(c.line,
            QStringLiteral("%1 is called outside DetermChunk and NonDetermChunk; it is not kept").arg(latin1(n)));
        return;
    }
    if (const auto fixed = fixedLineNamed(n)) {
        const FixedTaken& taken = m_fixedTaken[static_cast<std::size_t>(*fixed)];
        // The game runs DetermChunk before NonDetermChunk, and the writer writes them in that
        // order: of two such lines, the one in DetermChunk is the one met first, wherever the
        // file puts its chunks.
        const bool earlier = taken.seen && c.chunk == Chunk::Determ
            && m_settings.fixedCalls[static_cast<std::size_t>(*fixed)]->call.chunk == Chunk::NonDeterm;
        if (earlier)
            putBackFixed(*fixed);
        if (!taken.seen || earlier) {
            fixedLine(*fixed, c);
            return;
        }
    }
    m_settings.keptCalls.push_back({c.name, c.args, c.chunk});
    ++m_result.callsKept;
}

void LevelBuilder::global(std::string_view name, const LuaValue& value, qint64 line)
{
    m_line = line;
    if (name == "levelDesc") {
        if (value.isString())
            m_settings.levelDesc = latin1(value.text);
        else if (value.isNumber())
            m_settings.levelDesc = QString::fromStdString(luaText(value));
        else
            problem(line,
                QStringLiteral("levelDesc %1 is not a text; kept \"%2\"")
                    .arg(QString::fromStdString(luaText(value)), m_settings.levelDesc));
    } else if (name == "maxPlayers") {
        double players = 0;
        const bool isNumber = number(&value, "maxPlayers", players, false, false);
        const auto count = isNumber && std::isfinite(players) ? toInt32(players) : std::nullopt;
        if (!count) {
            problem(line,
                QStringLiteral("maxPlayers %1 is not a player count; kept %2 players")
                    .arg(QString::fromStdString(luaText(value)))
                    .arg(m_settings.playerCount()));
            return;
        }
        const int clamped = std::clamp(*count, 2, maxPlayerCount);
        if (clamped != *count)
            problem(line,
                QStringLiteral("maxPlayers %1 is outside 2 to %2; set to %3 players")
                    .arg(QString::fromStdString(luaText(value)))
                    .arg(maxPlayerCount)
                    .arg(clamped));
        m_settings.playerIndex = clamped - 2;
    } else if (name == "player") {
        if (value.isTable())
            m_settings.players = PlayerTable::fromLua(value);
        else
            problem(line,
                QStringLiteral("the player table is %1, not a table; it was not read")
                    .arg(QString::fromStdString(luaText(value))));
    }
}

} // namespace starloom
