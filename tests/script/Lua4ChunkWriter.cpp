#include "Lua4ChunkWriter.h"

#include <climits>
#include <cstring>

namespace starloom::test {

namespace {

class Out {
public:
    explicit Out(const ChunkFormat& format) : m_format(format) {}

    void byte(int b) { m_bytes.append(static_cast<char>(b)); }
    void value(std::uint64_t v, int size)
    {
        for (int k = 0; k < size; ++k) {
            const int shift = 8 * (m_format.bigEndian ? size - 1 - k : k);
            byte(static_cast<int>((v >> shift) & 0xFFu));
        }
    }
    void integer(std::int64_t v) { value(static_cast<std::uint64_t>(v), 4); }
    void number(double d)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        value(bits, 8);
    }
    void string(const std::optional<std::string>& s)
    {
        if (!s) {
            value(0, m_format.sizeT);
            return;
        }
        value(s->size() + 1, m_format.sizeT);
        m_bytes.append(s->data(), static_cast<qsizetype>(s->size()));
        byte(0);
    }
    void function(const ChunkFunction& f)
    {
        string(std::string("@test.lua"));
        integer(f.lineDefined);
        integer(f.params);
        byte(f.vararg ? 1 : 0);
        integer(f.maxStack);
        integer(0); // no locals
        integer(static_cast<std::int64_t>(f.lineInfo.size()) + 1);
        for (const std::int32_t entry : f.lineInfo)
            integer(entry);
        integer(INT_MAX - 2);
        integer(static_cast<std::int64_t>(f.strings.size()));
        for (const auto& s : f.strings)
            string(s);
        integer(static_cast<std::int64_t>(f.numbers.size()));
        for (const double d : f.numbers)
            number(d);
        integer(static_cast<std::int64_t>(f.functions.size()));
        for (const ChunkFunction& child : f.functions)
            function(child);
        integer(static_cast<std::int64_t>(f.code.size()));
        for (const std::uint32_t i : f.code)
            value(i, 4);
    }
    QByteArray bytes() const { return m_bytes; }

private:
    const ChunkFormat& m_format;
    QByteArray m_bytes;
};

} // namespace

QByteArray writeChunk(const ChunkFunction& main, const ChunkFormat& format)
{
    Out out(format);
    for (const char c : {'\x1b', 'L', 'u', 'a'})
        out.byte(c);
    for (const int b : {0x40, format.bigEndian ? 0 : 1, 4, format.sizeT, 4, 32, 6, 9, 8})
        out.byte(b);
    out.number(314159265.358979323846);
    out.function(main);
    return out.bytes();
}

std::uint32_t op(Lua4Op o)
{
    return static_cast<std::uint32_t>(o);
}

std::uint32_t opU(Lua4Op o, std::uint32_t u)
{
    return op(o) | (u << 6);
}

std::uint32_t opS(Lua4Op o, std::int32_t s)
{
    return opU(o, static_cast<std::uint32_t>(s + ((1 << 25) - 1)));
}

std::uint32_t opAB(Lua4Op o, std::uint32_t a, std::uint32_t b)
{
    return op(o) | (a << 15) | (b << 6);
}

} // namespace starloom::test
