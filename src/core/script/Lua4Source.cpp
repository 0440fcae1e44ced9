// The source rewriter: a Lua 4.0 level script translated into Lua 5.4 text that runs the same (see
// Lua4Translator.h), and the names and messages of the translation.

#include "Lua4Source.h"
#include "Lua4Translator.h"

#include <algorithm>

namespace starloom {

using namespace lua4src;

std::string Translator::withInsertions()
{
    if (m_insertions.empty())
        return std::move(m_out);
    // The insertions in the order of the text; of those at one place, the last made goes first.
    std::sort(m_insertions.begin(), m_insertions.end(),
        [](const Insertion& a, const Insertion& b) { return a.pos != b.pos ? a.pos < b.pos : a.order > b.order; });
    std::size_t size = m_out.size();
    for (const Insertion& i : m_insertions)
        size += i.text.size() + (i.space ? 1 : 0);
    std::string text;
    m_cost.grow(size);
    text.reserve(size);
    std::size_t from = 0;
    for (const Insertion& i : m_insertions) {
        text.append(m_out, from, i.pos - from);
        from = i.pos;
        if (i.space)
            text += ' ';
        text += i.text;
    }
    text.append(m_out, from, std::string::npos);
    m_cost.count(text.size() + m_insertions.size());
    return text;
}

Lua4Translation translateLua4(std::string_view source, bool literalCalls, const Lua4TranslationCharge& charge)
{
    Lua4Translation result;
    Translator translator(source);
    translator.m_literalCalls = literalCalls;
    translator.m_cost.charge = charge;
    try {
        result.text = translator.run();
        result.literalCalls = std::move(translator.m_calls);
        result.literalData = std::move(translator.m_literalData);
    } catch (const SyntaxError& e) {
        result.error = e.message;
        result.errorLine = e.line;
        result.text.clear();
    }
    result.work = translator.m_cost.work;
    result.bytes = translator.m_cost.bytes;
    return result;
}

bool lua4KeyLess(std::string_view a, std::string_view b)
{
    static constexpr std::string_view first[] = {"id", "name", "resources", "raceID", "raceName", "startPos"};
    const auto rank = [](std::string_view s) {
        return std::find(std::begin(first), std::end(first), s) - std::begin(first);
    };
    const auto ra = rank(a);
    const auto rb = rank(b);
    if (ra != rb)
        return ra < rb;
    return a < b;
}
std::string lua4NameInTranslation(std::string_view name)
{
    if (needsRename(name))
        return std::string(renamePrefix) + std::string(name);
    return std::string(name);
}

QString lua4MessageFromTranslation(const QString& message)
{
    QString text = message;
    text.replace(QLatin1String(renamePrefix.data(), qsizetype(renamePrefix.size())), QString());
    return text;
}

} // namespace starloom
