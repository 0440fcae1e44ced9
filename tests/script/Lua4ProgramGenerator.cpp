#include "Lua4ProgramGenerator.h"

#include <array>
#include <vector>

namespace starloom::test {

namespace {

enum class Type : std::uint8_t { Num, Str, List };

struct Var {
    std::string name;
    Type type;
    bool counts = false; // a loop's counter: only the loop changes it
};

struct Function {
    std::vector<Var> locals; // innermost last
    bool main = false;
};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL) {}

    std::string run()
    {
        m_functions.push_back({{}, true});
        line("levelDesc = \"Random \" .. " + num(1));
        line("maxPlayers = 2");
        for (const Var& g : std::array<Var, 5>{
                 {{"n1", Type::Num}, {"n2", Type::Num}, {"s1", Type::Str}, {"s2", Type::Str}, {"t1", Type::List}}}) {
            line(g.name + " = " + value(g.type, 1));
            m_globals.push_back(g);
        }
        for (int i = 0, n = below(3); i < n; ++i)
            statement(2);
        const int helpers = below(3);
        for (int i = 0; i < helpers; ++i)
            helper(i);
        for (const char* chunk : {"DetermChunk", "NonDetermChunk"}) {
            line(std::string("function ") + chunk + "()");
            functionBody({}, 3);
            m_functions.pop_back();
            line("end");
        }
        return m_out;
    }

private:
    // --- randomness (a 64-bit LCG's high bits: the same everywhere)

    std::uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <std::size_t N> std::string pick(const std::array<const char*, N>& items)
    {
        return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }
    template <std::size_t N> Type pick(const std::array<Type, N>& types)
    {
        return types[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

    // --- output

    void line(const std::string& text)
    {
        m_out.append(static_cast<std::size_t>(m_indent) * 2, ' ');
        m_out += text;
        m_out += '\n';
    }

    // --- names

    Function& current() { return m_functions.back(); }

    // A variable of `type` the code being written can read, written as it must be read there.
    bool variable(Type type, std::string& text)
    {
        std::vector<std::string> names;
        for (const Var& v : current().locals)
            if (v.type == type)
                names.push_back(v.name);
        if (m_functions.size() >= 2 && !current().main) {
            // the enclosing function's locals, as upvalues
            for (const Var& v : m_functions[m_functions.size() - 2].locals)
                if (v.type == type)
                    names.push_back("%" + v.name);
        }
        for (const Var& v : m_globals)
            if (v.type == type)
                names.push_back(v.name);
        if (names.empty())
            return false;
        text = names[static_cast<std::size_t>(below(static_cast<int>(names.size())))];
        return true;
    }
    // A variable of `type` the current function may assign.
    bool assignable(Type type, std::string& text)
    {
        std::vector<std::string> names;
        for (const Var& v : current().locals)
            if (v.type == type && !v.counts)
                names.push_back(v.name);
        for (const Var& v : m_globals)
            if (v.type == type)
                names.push_back(v.name);
        if (names.empty())
            return false;
        text = names[static_cast<std::size_t>(below(static_cast<int>(names.size())))];
        return true;
    }
    std::string fresh(const char* prefix) { return prefix + std::to_string(++m_names); }

    // --- expressions

    // A value to store: strings are cut to 40 bytes, so that one doubled in nested loops stays small.
    std::string value(Type type, int depth)
    {
        switch (type) {
        case Type::Num:
            return num(depth);
        case Type::Str:
            return "strsub(" + str(depth) + ", 1, 40)";
        case Type::List:
            return list(depth);
        }
        return "nil";
    }

    std::string numeral()
    {
        static const std::array<const char*, 20> numerals = {"0", "1", "2", "3", "7", "10", "0.5", "0.1", "0.2", "100",
            "1000", "123456.789", "1e15", "1e16", "2.5", "12345678901234567", "0.3", "99", "4", "6"};
        return pick(numerals);
    }

    std::string num(int depth)
    {
        std::string v;
        if (depth <= 0)
            return chance(30) && variable(Type::Num, v) ? v : numeral();
        switch (below(17)) {
        case 0:
        case 1:
            return numeral();
        case 2:
        case 3:
            if (variable(Type::Num, v))
                return v;
            return numeral();
        case 4: {
            static const std::array<const char*, 4> ops = {" + ", " - ", " * ", " / "};
            const std::string op = pick(ops);
            const std::string right =
                op == " / " ? pick(std::array<const char*, 4>{"3", "7", "0.1", "1000"}) : num(depth - 1);
            return "(" + num(depth - 1) + op + right + ")";
        }
        case 5:
            return "(" + num(depth - 1) + " + " + num(depth - 1) + ")";
        case 6:
            return "-" + (variable(Type::Num, v) ? v : "(" + num(depth - 1) + " + 1)");
        case 7:
            if (chance(25))
                return "sqrt(abs(" + num(depth - 1) + "))";
            return pick(std::array<const char*, 3>{"floor(", "abs(", "ceil("}) + num(depth - 1) + ")";
        case 8:
            return "mod(" + num(depth - 1) + ", " + pick(std::array<const char*, 3>{"3", "7", "2.5"}) + ")";
        case 9:
            return std::string(chance(50) ? "min(" : "max(") + num(depth - 1) + ", " + num(depth - 1) + ")";
        case 10:
            return "strlen(" + str(depth - 1) + ")";
        case 11:
            return "random(" + pick(std::array<const char*, 4>{"", "10", "3, 8", "100"}) + ")";
        case 12:
            return "getn(" + list(depth - 1) + ")";
        case 13:
            if (!m_helpers.empty())
                return m_helpers[static_cast<std::size_t>(below(static_cast<int>(m_helpers.size())))] + "("
                    + num(depth - 1) + ", " + num(depth - 1) + ")";
            return numeral();
        case 14:
            return std::string(chance(50) ? "sin(" : "cos(") + num(depth - 1) + ")";
        case 15:
            return "tonumber(" + pick(std::array<const char*, 4>{"\"12\"", "\" 5 \"", "\"0.25\"", "\"1e3\""}) + ")";
        default:
            return "(abs(" + num(depth - 1) + ") ^ " + pick(std::array<const char*, 3>{"2", "0.5", "3"}) + ")";
        }
    }

    std::string literalString()
    {
        static const std::array<const char*, 8> strings = {
            "\"a\"", "\"Hello\"", "\"x y\"", "\"\"", "\"10\"", "' 5 '", "\"Asteroid_1\"", "[[\nlong]]"};
        return pick(strings);
    }

    std::string str(int depth)
    {
        std::string v;
        if (depth <= 0)
            return chance(40) && variable(Type::Str, v) ? v : literalString();
        switch (below(11)) {
        case 0:
            return literalString();
        case 1:
        case 2:
            return variable(Type::Str, v) ? v : literalString();
        case 3:
            return "(" + str(depth - 1) + " .. " + str(depth - 1) + ")";
        case 4:
            return "(" + str(depth - 1) + " .. " + num(depth - 1) + ")";
        case 5:
            return "strsub(" + str(depth - 1) + ", " + pick(std::array<const char*, 4>{"1", "2", "-2", "0"}) + ", "
                + pick(std::array<const char*, 3>{"3", "-1", "1"}) + ")";
        case 6:
            return std::string(chance(50) ? "strupper(" : "strlower(") + str(depth - 1) + ")";
        case 7:
            return "strrep(" + literalString() + ", " + pick(std::array<const char*, 3>{"0", "2", "3"}) + ")";
        case 8:
            return "format(" + pick(std::array<const char*, 4>{"\"%.3f\"", "\"%5.1f|\"", "\"%g\"", "\"%.14g\""}) + ", "
                + num(depth - 1) + ")";
        case 9:
            return "tostring(" + num(depth - 1) + ")";
        default:
            return "(" + num(depth - 1) + " .. \"\")";
        }
    }

    std::string list(int depth)
    {
        std::string v;
        if (chance(50) && variable(Type::List, v))
            return v;
        std::string text = "{";
        for (int i = 0, n = below(4); i < n; ++i)
            text += (i > 0 ? ", " : "") + num(depth - 1);
        return text + "}";
    }

    std::string condition(int depth)
    {
        switch (below(5)) {
        case 0:
            return num(depth) + pick(std::array<const char*, 4>{" < ", " > ", " == ", " ~= "}) + num(depth);
        case 1:
            return str(depth) + pick(std::array<const char*, 3>{" < ", " == ", " ~= "}) + str(depth);
        case 2:
            return "not (" + num(depth) + " > " + num(depth) + ")";
        case 3:
            return "(" + num(depth) + " < " + num(depth) + ") and (" + str(depth) + " ~= " + str(depth) + ")";
        default:
            return "(" + num(depth) + " > 3) or (" + num(depth) + " < 1)";
        }
    }

    // --- statements

    void addLocal(const std::string& name, Type type, bool counts = false)
    {
        current().locals.push_back({name, type, counts});
    }

    void block(int depth)
    {
        const std::size_t scope = current().locals.size();
        ++m_indent;
        for (int i = 0, n = 1 + below(3); i < n; ++i)
            statement(depth);
        --m_indent;
        current().locals.resize(scope);
    }

    void functionBody(const std::vector<Var>& params, int depth)
    {
        m_functions.push_back({params, false});
        ++m_indent;
        for (int i = 0, n = 5 + below(6); i < n; ++i)
            statement(depth);
        --m_indent;
    }

    void helper(int i)
    {
        const std::string name = "h" + std::to_string(i + 1);
        line("function " + name + "(a, b)");
        m_functions.push_back({{{"a", Type::Num}, {"b", Type::Num}}, false});
        ++m_indent;
        if (chance(50))
            statement(1);
        line("return " + num(2));
        --m_indent;
        m_functions.pop_back();
        line("end");
        m_helpers.push_back(name);
    }

    void statement(int depth)
    {
        std::string v;
        const int kinds = depth > 0 ? 16 : 6;
        switch (below(kinds)) {
        case 0: {
            const Type type = pick(std::array<Type, 4>{Type::Num, Type::Num, Type::Str, Type::List});
            const std::string name = fresh("l");
            line("local " + name + " = " + value(type, 2));
            addLocal(name, type);
            return;
        }
        case 1: {
            const Type type = pick(std::array<Type, 3>{Type::Num, Type::Str, Type::List});
            if (assignable(type, v))
                line(v + " = " + value(type, 2));
            return;
        }
        case 2:
            line("addOut(" + num(2) + ", " + str(2) + ")");
            return;
        case 3:
            line("addOut(" + num(2) + " .. \"\", " + list(1) + ")");
            return;
        case 4:
            line("addOut(" + condition(1) + ", " + condition(1) + ")");
            return;
        case 5:
            line(pick(std::array<const char*, 3>{"addAsteroid(\"Asteroid_3\", {", "addPebble(\"Pebble_1\", {",
                     "addDustCloud(\"DustCloud_NoRes\", \"dust\", {"})
                + num(1) + ", " + num(1) + ", " + num(1) + "}, " + num(1) + ", 0, 0, 0)");
            return;
        case 6: {
            line("if " + condition(1) + " then");
            block(depth - 1);
            if (chance(40)) {
                line("elseif " + condition(1) + " then");
                block(depth - 1);
            }
            if (chance(50)) {
                line("else");
                block(depth - 1);
            }
            line("end");
            return;
        }
        case 7:
        case 8: {
            // The body may change the loop's own variable.
            const std::string name = fresh("i");
            static const std::array<const char*, 6> ranges = {
                "1, 3", "3, 1, -1", "0, 1, 0.25", "1, 5, 2", "\"1\", 2", "1, 0"};
            const std::string range = pick(ranges);
            line("for " + name + " = " + range + " do");
            const std::size_t scope = current().locals.size();
            addLocal(name, Type::Num, true);
            ++m_indent;
            line("addOut(" + name + ")");
            if (chance(40))
                line(name + " = " + name + (range.find('-') == std::string::npos ? " + " : " - ")
                    + pick(std::array<const char*, 2>{"1", "0.5"}));
            --m_indent;
            block(depth - 1);
            current().locals.resize(scope);
            line("end");
            return;
        }
        case 9: {
            const std::string counter = fresh("c");
            line("local " + counter + " = 0");
            addLocal(counter, Type::Num, true);
            if (chance(50)) {
                line("while " + counter + " < " + std::to_string(1 + below(3)) + " do");
                ++m_indent;
                line(counter + " = " + counter + " + 1");
                --m_indent;
                block(depth - 1);
                line("end");
            } else {
                line("repeat");
                ++m_indent;
                line(counter + " = " + counter + " + 1");
                --m_indent;
                block(depth - 1);
                line("until " + counter + " >= " + std::to_string(1 + below(3)));
            }
            return;
        }
        case 10: {
            // A closure reading an upvalue that changes after it is made.
            const std::string name = fresh("f");
            const std::string local = fresh("u");
            line("local " + local + " = " + num(1));
            addLocal(local, Type::Num);
            line("local " + name + " = function(x)");
            m_functions.push_back({{{"x", Type::Num}}, false});
            ++m_indent;
            line("return %" + local + " + x * " + num(1));
            --m_indent;
            m_functions.pop_back();
            line("end");
            line(local + " = " + num(1));
            line("addOut(" + name + "(" + num(1) + ") .. \"\", " + local + ")");
            return;
        }
        case 11: {
            std::string t;
            if (!assignable(Type::List, t))
                return;
            switch (below(4)) {
            case 0:
                line("tinsert(" + t + ", " + num(1) + ")");
                break;
            case 1:
                line("addOut(tremove(" + t + "))");
                break;
            case 2:
                line(t + "[getn(" + t + ") + 1] = " + num(1));
                break;
            default:
                line("sort(" + t + ") addOut(" + t + ")");
                break;
            }
            return;
        }
        case 12:
            line("addOut(" + str(3) + ")");
            return;
        case 13:
            line("addOut(dostring(\"return \" .. " + numeral() + " .. \" + \" .. strlen(" + str(1) + ")) .. \"\")");
            return;
        case 14:
            line("addOut(strfind(" + str(1) + ", " + pick(std::array<const char*, 3>{"\"l\"", "\"%d\"", "\"a\", 1, 1"})
                + "), gsub(" + str(1) + ", "
                + pick(std::array<const char*, 3>{"\"l\", \"L\"", "\"(%w+)\", \"<%1>\"", "\"%s\", \"_\""}) + "))");
            return;
        default:
            line("do");
            block(depth - 1);
            line("end");
            return;
        }
    }

    std::uint64_t m_state;
    std::string m_out;
    int m_indent = 0;
    int m_names = 0;
    std::vector<Function> m_functions;
    std::vector<Var> m_globals;
    std::vector<std::string> m_helpers;
};

} // namespace

std::string randomLua4Program(std::uint64_t seed)
{
    return Generator(seed).run();
}

} // namespace starloom::test
