// Item calls written the way the editor writes them, read straight from their bytes (the reader
// offers each such call before it reads it as values).

#include "ItemCalls.h"
#include "LevelBuilder.h"
#include "LevelWriter.h"
#include "LuaLexer.h"
#include "WrittenArgs.h"

#include "document/Numbers.h"

#include <array>
#include <unordered_map>

namespace starloom {

namespace {

// One step of reading a kind's arguments as the writer writes them. The tables of a layout open
// and close in place, so that a call's arguments read in one pass over the steps.
struct ArgStep {
    enum class Op : std::uint8_t { Comma, Open, Close, Model, Name, SlotName, Position, Field, Kept };
    Op op;
    std::uint8_t component = 0;       // Field: which of the last colour components to try first
    const ItemField* field = nullptr; // Field
    const char* text = nullptr;       // Kept
};

void flatten(const KindLayout& layout, const std::vector<ArgShape>& shapes, std::vector<ArgStep>& steps)
{
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        if (i > 0)
            steps.push_back({ArgStep::Op::Comma});
        const ArgShape& shape = shapes[i];
        switch (shape.role) {
        case ArgRole::Model:
            steps.push_back({ArgStep::Op::Model});
            break;
        case ArgRole::Name:
            steps.push_back({ArgStep::Op::Name});
            break;
        case ArgRole::SlotName:
            steps.push_back({ArgStep::Op::SlotName});
            break;
        case ArgRole::Position:
            steps.push_back({ArgStep::Op::Position});
            break;
        case ArgRole::Field: {
            const auto field = static_cast<std::size_t>(shape.field);
            steps.push_back({ArgStep::Op::Field, std::uint8_t(field % 4), &layout.fields.at(field)});
            break;
        }
        case ArgRole::Table:
            steps.push_back({ArgStep::Op::Open});
            flatten(layout, shape.elements, steps);
            steps.push_back({ArgStep::Op::Close});
            break;
        case ArgRole::Kept:
            steps.push_back({ArgStep::Op::Kept, 0, nullptr, shape.keptText});
            break;
        }
    }
}

const std::vector<ArgStep>& argSteps(ItemKind kind)
{
    static const std::array<std::vector<ArgStep>, kindCount> all = [] {
        std::array<std::vector<ArgStep>, kindCount> steps;
        for (const ItemKind k : allKinds)
            flatten(kindLayout(k), kindLayout(k).args, steps[std::size_t(typeIdOf(k) - 1)]);
        return steps;
    }();
    return all[std::size_t(typeIdOf(kind) - 1)];
}

// The colour component (0 to 255) whose text the writer writes as `text`, when the reader reads
// that text back as the same component; -1 for any other text.
int writtenComponent(std::string_view text, std::pair<std::string_view, int>& last)
{
    // The keys view the writer's texts, which live as long as the program.
    static const std::unordered_map<std::string_view, int> components = [] {
        std::unordered_map<std::string_view, int> m;
        for (int c = 0; c < 256; ++c) {
            const std::string& t = componentText(std::int16_t(c));
            double value = 0;
            if (!LuaLexer::numeralValue(t, value))
                continue;
            const auto stored = toInt16(value * 255.0);
            if (stored && *stored == c)
                m.emplace(t, c);
        }
        return m;
    }();
    const auto it = components.find(text);
    if (it == components.end())
        return -1;
    last = *it;
    return it->second;
}

} // namespace

std::size_t LevelBuilder::offerCall(std::string_view name, std::string_view bytes, Chunk chunk, qint64 line)
{
    std::optional<std::string_view> type;
    if (name == "addSquadron") {
        // The second argument says which kind of item the call adds.
        WrittenArgs peek(bytes);
        std::string_view first;
        std::string_view second;
        if (!peek.quoted(first) || !peek.comma() || !peek.quoted(second))
            return 0;
        type = second;
    }
    const std::optional<ItemKind> kind = itemKindOf(name, type);
    // Items in the other chunk keep their call: read as values.
    if (!kind || chunk == Chunk::Other || kindInfo(*kind).chunk != chunk)
        return 0;
    m_offered.kind = *kind;
    std::size_t used = 0;
    if (!readOffered(bytes, used))
        return 0;
    m_offered.held = true;
    m_offered.line = line;
    return used;
}

bool LevelBuilder::readOffered(std::string_view bytes, std::size_t& used)
{
    const ItemKind kind = m_offered.kind;
    const std::vector<ArgStep>& steps = argSteps(kind);
    m_offered.record = blankRecord(kind);
    m_offered.firstIsText = false;
    AnyRecord& any = m_offered.record;
    WrittenArgs in(bytes);
    std::string_view model;
    std::string_view name;
    bool named = false;
    for (const ArgStep& step : steps) {
        switch (step.op) {
        case ArgStep::Op::Comma:
            if (!in.comma())
                return false;
            break;
        case ArgStep::Op::Open:
            if (!in.symbol('{'))
                return false;
            break;
        case ArgStep::Op::Close:
            if (!in.symbol('}'))
                return false;
            break;
        case ArgStep::Op::Model:
            if (!in.quoted(model))
                return false;
            break;
        case ArgStep::Op::Name:
            named = true;
            if (!in.quoted(name))
                return false;
            break;
        case ArgStep::Op::SlotName: {
            std::string_view text;
            if (!in.quoted(text) || text.size() != 9 || text.compare(0, 8, "StartPos") != 0 || text[8] < '0'
                || text[8] >= '0' + playerSlots || m_startLines[static_cast<std::size_t>(text[8] - '0')])
                return false;
            m_offered.slot = text[8] - '0';
            break;
        }
        case ArgStep::Op::Position: {
            long long x = 0;
            long long z = 0;
            long long y = 0;
            if (!in.symbol('{') || !in.integer(x) || !in.comma() || !in.integer(z) || !in.comma() || !in.integer(y)
                || !in.symbol('}') || !fitsInt32(x) || !fitsInt32(y) || !fitsInt32(z))
                return false;
            std::visit(
                [&](auto& r) {
                    r.posX = std::int32_t(x);
                    r.posZ = std::int32_t(z);
                    r.posY = std::int32_t(y);
                },
                any);
            break;
        }
        case ArgStep::Op::Field: {
            const ItemField& f = *step.field;
            if (f.colour) {
                // Colours repeat from item to item: the text last met in the same place first.
                auto& last = m_lastComponents[step.component];
                const int c =
                    last.second >= 0 && in.exactly(last.first) ? last.second : writtenComponent(in.word(), last);
                if (c < 0 || !f.set)
                    return false;
                f.set(any, double(c));
                break;
            }
            long long n = 0;
            if (!in.integer(n))
                return false;
            if (!f.set)
                break;
            if (f.type == FieldType::Float32) {
                // Whole numbers up to 2^24 are exact as single floats; the writer's text of one
                // must read back as the same number.
                if (n < -16777216 || n > 16777216)
                    return false;
                if (n != m_sizeChecked) {
                    m_sizeChecked = n;
                    m_sizeAlike = val(floatText(float(n))) == double(n);
                }
                if (!m_sizeAlike)
                    return false;
            } else if (f.type == FieldType::Int16 ? (n < -32768 || n > 32767) : !fitsInt32(n)) {
                return false;
            }
            f.set(any, double(n));
            break;
        }
        case ArgStep::Op::Kept:
            if (!in.literal(step.text))
                return false;
            break;
        }
    }
    if (!in.symbol(')'))
        return false;
    // A model name written otherwise than the lists spell it is left to the token reader: the
    // record then keeps the call it came from.
    bool alike = true;
    std::visit(
        [&](auto& r) {
            using Rec = std::decay_t<decltype(r)>;
            if constexpr (hasModel<Rec>) {
                ModelSeen& seen = lookUpModel(kind, model);
                r.modelIndex = seen.index;
                if (r.modelIndex == -1)
                    r.customName = seen.text;
                if (seen.writtenAlike < 0)
                    seen.writtenAlike = isWrittenModelName(kind, r.modelIndex, r.customName, model, m_models) ? 1 : 0;
                alike = seen.writtenAlike == 1;
                if constexpr (hasName<Rec>) {
                    if (alike && named) {
                        // A name equal to the model shares its text.
                        const QString text = name == model ? seen.text : sharedName(name);
                        if (name != model)
                            r.name = text;
                        m_offered.firstIsText = rowShowsName(kind) && steps.front().op == ArgStep::Op::Name;
                        if (m_offered.firstIsText)
                            m_offered.firstText = text;
                    }
                }
            }
        },
        any);
    if (!alike)
        return false;
    used = in.used();
    return true;
}

void LevelBuilder::keepOffered()
{
    if (!m_offered.held)
        return;
    m_offered.held = false;
    m_line = m_offered.line;
    const ItemKind kind = m_offered.kind;
    if (kindInfo(kind).layout == RecordLayout::PlayerSlots)
        m_slot = m_offered.slot;
    else
        m_result.lastKind = kind;
    // An offered call stands in its kind's own chunk: the record's chunk is that of its kind.
    store(kind, m_offered.record, Chunk::Other, true, nullptr, m_offered.firstIsText ? &m_offered.firstText : nullptr);
}

void LevelBuilder::dropOffered()
{
    m_offered.held = false;
}

} // namespace starloom
