#include "PlayerTable.h"

#include "Numbers.h"

#include <algorithm>
#include <cmath>

namespace starloom {

namespace {

const char* fieldName(PlayerTable::Field field)
{
    switch (field) {
    case PlayerTable::Field::Name:
        return "name";
    case PlayerTable::Field::Resources:
        return "resources";
    case PlayerTable::Field::Race:
        break;
    }
    return "raceID";
}

LuaValue* fieldValue(LuaValue& entry, std::string_view name)
{
    for (LuaField& f : entry.fields) {
        if (f.key.isString() && f.key.text == name)
            return &f.value;
    }
    return nullptr;
}

void setField(LuaValue& entry, std::string_view name, LuaValue value)
{
    if (LuaValue* v = fieldValue(entry, name)) {
        *v = std::move(value);
        return;
    }
    entry.fields.push_back({LuaValue::makeString(std::string(name)), std::move(value)});
}

void removeField(LuaValue& entry, std::string_view name)
{
    std::erase_if(entry.fields, [name](const LuaField& f) { return f.key.isString() && f.key.text == name; });
}

QString shown(const LuaValue* v)
{
    if (!v)
        return {};
    if (v->isString())
        return QString::fromLatin1(v->text.data(), qsizetype(v->text.size()));
    return QString::fromStdString(luaText(*v));
}

} // namespace

PlayerTable PlayerTable::fromLua(const LuaValue& table)
{
    PlayerTable t;
    if (!table.isTable())
        return t;
    t.m_listForm = !table.items.empty();
    for (std::size_t i = 0; i < table.items.size(); ++i)
        t.m_entries.push_back({LuaValue::makeNumber(double(i + 1)), table.items[i]});
    for (const LuaField& f : table.fields)
        t.m_entries.push_back(f);
    return t;
}

LuaValue PlayerTable::standardEntry(int slot)
{
    LuaValue e = LuaValue::makeTable();
    auto add = [&e](const char* name, LuaValue v) { e.fields.push_back({LuaValue::makeString(name), std::move(v)}); };
    add("id", LuaValue::makeNumber(slot));
    add("name", LuaValue::makeString("Vaygr"));
    add("resources", LuaValue::makeNumber(1500));
    add("raceID", LuaValue::makeNumber(1));
    add("startPos", LuaValue::makeNumber(1));
    return e;
}

int PlayerTable::slotOf(const LuaField& entry) const
{
    if (const LuaValue* id = entry.value.isTable() ? entry.value.field("id") : nullptr) {
        if (id->isNumber() && id->number == std::floor(id->number) && std::abs(id->number) < 1e6)
            return int(id->number);
    }
    if (entry.key.isNumber() && entry.key.number == std::floor(entry.key.number) && std::abs(entry.key.number) < 1e6)
        return int(entry.key.number) - (m_listForm ? 1 : 0);
    return -1;
}

const LuaValue* PlayerTable::entry(int slot) const
{
    for (const LuaField& f : m_entries) {
        if (slotOf(f) == slot)
            return &f.value;
    }
    return nullptr;
}

LuaValue* PlayerTable::mutableEntry(int slot)
{
    for (LuaField& f : m_entries) {
        if (slotOf(f) == slot)
            return &f.value;
    }
    // The writer writes the entries in their order and then the standard entries of the slots past
    // them: the slots before this one that have no entry get their standard entry first, so that
    // the table stays in slot order and none is left out.
    for (int before = 0; before <= slot; ++before) {
        if (entry(before))
            continue;
        const LuaValue key = LuaValue::makeNumber(double(before + (m_listForm ? 1 : 0)));
        const bool keyTaken =
            std::any_of(m_entries.begin(), m_entries.end(), [&key](const LuaField& e) { return e.key.sameValue(key); });
        if (keyTaken && before < slot)
            continue;
        // Before the first entry of a later slot, so that slots stay in order.
        const auto at = std::find_if(m_entries.begin(), m_entries.end(), [&](const LuaField& e) {
            const int s = slotOf(e);
            return s > before;
        });
        m_entries.insert(at, LuaField{key, standardEntry(before)});
    }
    for (LuaField& f : m_entries) {
        if (slotOf(f) == slot)
            return &f.value;
    }
    return nullptr;
}

const QStringList& PlayerTable::knownRaceIds()
{
    static const QStringList ids = {QStringLiteral("1"), QStringLiteral("2")};
    return ids;
}

const QStringList& PlayerTable::knownRaceNames()
{
    static const QStringList names = {QStringLiteral("Hiigaran"), QStringLiteral("Vaygr")};
    return names;
}

bool PlayerTable::raceByName(int slot) const
{
    const LuaValue* e = entry(slot);
    return e && e->isTable() && e->field("raceName");
}

bool PlayerTable::raceKnown(int slot) const
{
    const LuaValue* e = entry(slot);
    if (!e || !e->isTable())
        return true;
    if (const LuaValue* name = e->field("raceName"))
        return name->isString() && knownRaceNames().contains(shown(name));
    if (const LuaValue* id = e->field("raceID"))
        return id->isNumber() && (id->number == 1 || id->number == 2);
    return true;
}

QString PlayerTable::text(int slot, Field field) const
{
    const LuaValue* e = entry(slot);
    const LuaValue standard = standardEntry(slot);
    if (!e || !e->isTable())
        e = &standard;
    if (field == Field::Race) {
        if (const LuaValue* name = e->field("raceName"))
            return shown(name);
    }
    return shown(e->field(fieldName(field)));
}

bool PlayerTable::setText(int slot, Field field, const QString& text)
{
    if (slot < 0 || text.size() > 1000)
        return false;
    for (QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    const bool number = isLuaNumber(text);
    if (field == Field::Resources && !number)
        return false;
    if (const LuaValue* e = entry(slot); e && !e->isTable())
        return false;
    LuaValue& e = *mutableEntry(slot);
    const std::string bytes = text.trimmed().toLatin1().toStdString();
    switch (field) {
    case Field::Name:
        setField(e, "name", LuaValue::makeString(text.toLatin1().toStdString()));
        break;
    case Field::Resources:
        setField(e, "resources", LuaValue::makeNumber(val(text), bytes));
        break;
    case Field::Race:
        if (number) {
            removeField(e, "raceName");
            setField(e, "raceID", LuaValue::makeNumber(val(text), bytes));
        } else {
            removeField(e, "raceID");
            setField(e, "raceName", LuaValue::makeString(text.toLatin1().toStdString()));
        }
        break;
    }
    return true;
}

} // namespace starloom
