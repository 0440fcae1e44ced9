// Reading compiled Lua 4.0 chunks. The layout, all numbers in the byte order the header names:
//   header: ESC "Lua", 0x40 (the version), 1 or 0 (little or big endian), the sizes of int (4),
//           size_t (4 or 8) and an instruction (4), the bits of an instruction (32), of its
//           number (6) and of its B operand (9), the size of a number (8), then the number
//           314159265.358979 as a check of the number format;
//   function: source (string), line defined (int), parameters (int), vararg (byte), stack size
//           (int), locals (int count, then name, start and end pc of each), line information
//           (int count, then ints), string constants (int count, strings), number constants (int
//           count, numbers), function constants (int count, functions), code (int count,
//           instructions; the last one End);
//   string: its size_t length counting a closing NUL (0: no string), then the bytes.
// Everything an instruction relies on is checked before the chunk may run, so that the
// interpreter never reads outside its slots, constants or code.

#include "Lua4Chunk.h"
#include "Lua4ChunkChecks.h"

#include "Lua4Source.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace starloom {

namespace {

constexpr int maxNesting = 100;    // functions inside functions
constexpr int maxStackSlots = 512; // Lua 4.0's own compiler stops at 250

using lua4chunk::Depths;
using lua4chunk::fail;
using lua4chunk::LoadError;

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}

    void header()
    {
        if (m_bytes.size() < 4 || std::memcmp(m_bytes.data(), "\x1bLua", 4) != 0)
            fail(QStringLiteral("it does not start as a compiled Lua file does"));
        m_pos = 4;
        const int version = byte("the header");
        if (version != 0x40)
            fail(QStringLiteral("it was compiled for Lua %1.%2, not 4.0").arg(version / 16).arg(version % 16));
        const int order = byte("the header");
        if (order != 0 && order != 1)
            fail(QStringLiteral("its byte order mark is %1 (0 or 1 expected)").arg(order));
        m_bigEndian = order == 0;
        expectSize("an int", 4, byte("the header"));
        m_sizeT = byte("the header");
        if (m_sizeT != 4 && m_sizeT != 8)
            fail(QStringLiteral("its size_t is %1 bytes (4 or 8 expected)").arg(m_sizeT));
        expectSize("an instruction", 4, byte("the header"));
        expectBits("an instruction", 32, byte("the header"));
        expectBits("an instruction's number", 6, byte("the header"));
        expectBits("an instruction's B operand", 9, byte("the header"));
        expectSize("a number", 8, byte("the header"));
        const double check = number("the header");
        constexpr double expected = 314159265.358979323846;
        if (!(std::fabs(check - expected) < 1.0))
            fail(QStringLiteral("its numbers are not in the expected format (read %1 for %2)")
                     .arg(check, 0, 'g', 15)
                     .arg(expected, 0, 'g', 15));
    }

    bool atEnd() const { return m_pos == m_bytes.size(); }
    std::size_t left() const { return m_bytes.size() - m_pos; }

    int byte(const char* what)
    {
        need(1, what);
        return static_cast<unsigned char>(m_bytes[m_pos++]);
    }

    std::int32_t int32(const char* what)
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(unsignedValue(4, what)));
    }

    std::uint32_t instruction(const char* what) { return static_cast<std::uint32_t>(unsignedValue(4, what)); }

    double number(const char* what)
    {
        const std::uint64_t bits = unsignedValue(8, what);
        double value = 0;
        static_assert(sizeof value == sizeof bits);
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A count of entries of `entryBytes` bytes at least each, which the rest of the file must hold.
    std::size_t count(const char* what, std::size_t entryBytes)
    {
        const std::int32_t n = int32(what);
        if (n < 0)
            fail(QStringLiteral("%1 has a negative count (%2)").arg(QLatin1String(what)).arg(n));
        if (static_cast<std::size_t>(n) > left() / entryBytes)
            fail(QStringLiteral("the file ends inside %1 (it counts %2 of them)").arg(QLatin1String(what)).arg(n));
        return static_cast<std::size_t>(n);
    }

    // A string; false for the missing string (length 0). The last byte (a NUL) is dropped.
    bool string(const char* what, std::string& out)
    {
        const std::uint64_t size = unsignedValue(static_cast<std::size_t>(m_sizeT), what);
        if (size == 0) {
            out.clear();
            return false;
        }
        if (size > left())
            fail(QStringLiteral("the file ends inside %1 (it is %2 bytes long)").arg(QLatin1String(what)).arg(size));
        out.assign(m_bytes.data() + m_pos, static_cast<std::size_t>(size - 1));
        m_pos += static_cast<std::size_t>(size);
        return true;
    }

    std::size_t sizeTBytes() const { return static_cast<std::size_t>(m_sizeT); }

private:
    static void expectSize(const char* what, int expected, int read)
    {
        if (read != expected)
            fail(QStringLiteral("%1 is %2 bytes in it (%3 expected)").arg(QLatin1String(what)).arg(read).arg(expected));
    }
    static void expectBits(const char* what, int expected, int read)
    {
        if (read != expected)
            fail(QStringLiteral("%1 is %2 bits in it (%3 expected)").arg(QLatin1String(what)).arg(read).arg(expected));
    }

    void need(std::size_t n, const char* what) const
    {
        if (n > left())
            fail(QStringLiteral("the file ends inside %1").arg(QLatin1String(what)));
    }

    std::uint64_t unsignedValue(std::size_t size, const char* what)
    {
        need(size, what);
        std::uint64_t value = 0;
        for (std::size_t k = 0; k < size; ++k) {
            const auto b = static_cast<unsigned char>(m_bytes[m_pos + (m_bigEndian ? k : size - 1 - k)]);
            value = (value << 8) | b;
        }
        m_pos += size;
        return value;
    }

    std::string_view m_bytes;
    std::size_t m_pos = 0;
    bool m_bigEndian = false; // the header's byte order mark: 1 little endian, 0 big endian
    int m_sizeT = 4;
};

// The line of every instruction from Lua 4.0's line information: a list of the instructions at
// which a new line starts, each line one after the line before unless a negative entry before
// it says how many more lines to skip; a very large entry closes the list.
void decodeLines(Lua4Function& f, const std::vector<std::int32_t>& info, bool main)
{
    f.lines.assign(f.code.size(), 0);
    std::int64_t line = 0;
    std::int64_t skip = 0;
    std::int64_t lastPc = -1;
    for (const std::int32_t entry : info) {
        if (entry < 0) {
            skip += -static_cast<std::int64_t>(entry);
            continue;
        }
        if (entry < lastPc)
            fail(QStringLiteral("the line information of %1 goes backwards")
                     .arg(main ? QStringLiteral("the main function")
                               : QStringLiteral("the function defined at line %1").arg(f.lineDefined)));
        // Until this entry the line before holds.
        for (std::int64_t pc = std::max<std::int64_t>(lastPc, 0);
             pc < std::min<std::int64_t>(entry, static_cast<std::int64_t>(f.code.size())); ++pc)
            f.lines[static_cast<std::size_t>(pc)] = static_cast<std::int32_t>(line);
        line += 1 + skip;
        skip = 0;
        if (line > INT32_MAX)
            fail(QStringLiteral("the line information goes past line %1").arg(INT32_MAX));
        lastPc = entry;
    }
    for (std::int64_t pc = std::max<std::int64_t>(lastPc, 0); pc < static_cast<std::int64_t>(f.code.size()); ++pc)
        f.lines[static_cast<std::size_t>(pc)] = static_cast<std::int32_t>(line);
}

class ChunkLoader {
public:
    ChunkLoader(std::string_view bytes, Lua4Chunk& chunk) : m_in(bytes), m_chunk(chunk) {}

    void load()
    {
        m_in.header();
        function(0);
        if (m_chunk.functions.front().upvalues > 0)
            fail(QStringLiteral("the main function reads closure values, which nothing gives it"));
        if (!m_in.atEnd())
            fail(QStringLiteral("the file goes on after the chunk's main function (%1 more bytes)").arg(m_in.left()));
    }

private:
    std::uint32_t function(int nesting)
    {
        if (nesting > maxNesting)
            fail(QStringLiteral("its functions are nested more than %1 deep").arg(maxNesting));
        const bool main = nesting == 0;
        const auto index = static_cast<std::uint32_t>(m_chunk.functions.size());
        m_chunk.functions.emplace_back();
        Lua4Function f;
        std::string text;
        m_in.string("a function's source name", text);
        f.lineDefined = m_in.int32("a function's header");
        f.params = m_in.int32("a function's header");
        f.vararg = m_in.byte("a function's header") != 0;
        f.maxStack = m_in.int32("a function's header");
        if (f.maxStack < 0 || f.maxStack > maxStackSlots)
            fail(QStringLiteral("a function needs %1 stack slots (at most %2 are allowed)")
                     .arg(f.maxStack)
                     .arg(maxStackSlots));
        if (f.params < 0 || f.params + (f.vararg ? 1 : 0) > f.maxStack)
            fail(QStringLiteral("a function has %1 parameters and only %2 stack slots").arg(f.params).arg(f.maxStack));

        // Locals: names and ranges, which only a debugger needs.
        const std::size_t locals = m_in.count("a function's locals", m_in.sizeTBytes() + 8);
        for (std::size_t k = 0; k < locals; ++k) {
            m_in.string("a local's name", text);
            m_in.int32("a local's range");
            m_in.int32("a local's range");
        }
        std::vector<std::int32_t> lineInfo(m_in.count("a function's line information", 4));
        for (std::int32_t& entry : lineInfo)
            entry = m_in.int32("a function's line information");

        std::vector<std::uint8_t> hasString(m_in.count("a function's string constants", m_in.sizeTBytes()));
        f.strings.resize(hasString.size());
        f.globals.resize(hasString.size());
        for (std::size_t k = 0; k < hasString.size(); ++k) {
            hasString[k] = m_in.string("a string constant", f.strings[k]) ? 1 : 0;
            f.globals[k] = lua4NameInTranslation(f.strings[k]);
            m_chunk.bytes += 2 * (sizeof(std::string) + f.strings[k].size());
        }
        f.numbers.resize(m_in.count("a function's number constants", 8));
        for (double& number : f.numbers)
            number = m_in.number("a number constant");
        // A function takes at least its header, six counts and one instruction.
        f.functions.resize(m_in.count("a function's function constants", m_in.sizeTBytes() + 41));
        for (std::uint32_t& child : f.functions)
            child = function(nesting + 1);

        f.code.resize(m_in.count("a function's code", 4));
        for (std::uint32_t& i : f.code)
            i = m_in.instruction("a function's code");
        if (f.code.empty() || lua4Op(f.code.back()) != Lua4Op::End)
            fail(QStringLiteral("a function's code does not end where functions end"));

        decodeLines(f, lineInfo, main);
        const Depths depths = lua4chunk::checkCode(f, m_chunk, hasString, main);
        f.aux.assign(f.code.size(), -1);
        lua4chunk::findCalledNames(f, depths);
        lua4chunk::findConstantCalls(f, depths);
        m_chunk.bytes += sizeof(Lua4Function) + f.code.size() * 12 + f.numbers.size() * 8 + f.functions.size() * 4
            + f.constantCalls.size() * sizeof(Lua4ConstantCall);
        for (const Lua4ConstantCall& call : f.constantCalls)
            m_chunk.bytes += call.bytes;
        m_chunk.functions[index] = std::move(f);
        return index;
    }

    ByteReader m_in;
    Lua4Chunk& m_chunk;
};

} // namespace

bool isLua4Chunk(std::string_view bytes)
{
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "\x1bLua", 4) == 0;
}

Lua4ChunkLoad loadLua4Chunk(std::string_view bytes, const QString& fileName)
{
    Lua4ChunkLoad result;
    auto chunk = std::make_unique<Lua4Chunk>();
    try {
        ChunkLoader(bytes, *chunk).load();
        result.chunk = std::move(chunk);
    } catch (const LoadError& e) {
        QString name = QFileInfo(fileName).fileName();
        if (name.isEmpty())
            name = fileName;
        result.reason = e.what;
        result.error = QStringLiteral("The compiled level \"%1\" cannot be run: %2").arg(name, e.what);
    } catch (const std::bad_alloc&) {
        result.reason = QStringLiteral("not enough memory");
        result.error = QStringLiteral("The compiled level \"%1\" cannot be run: not enough memory").arg(fileName);
    }
    return result;
}

} // namespace starloom
