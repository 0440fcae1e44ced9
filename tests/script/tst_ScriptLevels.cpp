// Real maps opened by running their scripts: every item they build becomes an item, a save keeps
// what the game sees (as the runner and as lua5.4 see the saved file), and on maps made of plain
// calls the runner and the line reader agree.

#include "TestSupport.h"

#include "document/Catalogue.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "script/LevelScript.h"

#include <QBuffer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

using namespace starloom;
using namespace starloom::test;

namespace {

// A value as tests/support/level_calls.lua prints it: whole numbers below 2^53 plainly, others with
// 17 digits, strings as lua5.4's %q quotes them, tables by their keys sorted (numbers first).
std::string luaView(const LuaValue& v)
{
    char buffer[64];
    switch (v.type) {
    case LuaValue::Type::Nil:
        return "nil";
    case LuaValue::Type::Number:
        if (v.number == std::floor(v.number) && std::fabs(v.number) < 0x1p53)
            std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(v.number));
        else
            std::snprintf(buffer, sizeof buffer, "%.17g", v.number);
        return buffer;
    case LuaValue::Type::String: {
        std::string out = "\"";
        for (std::size_t i = 0; i < v.text.size(); ++i) {
            const auto c = static_cast<unsigned char>(v.text[i]);
            if (c == '"' || c == '\\' || c == '\n') {
                out += '\\';
                out += char(c);
            } else if (c < 0x20 || c == 0x7f) {
                const bool digitNext = i + 1 < v.text.size() && v.text[i + 1] >= '0' && v.text[i + 1] <= '9';
                std::snprintf(buffer, sizeof buffer, digitNext ? "\\%03u" : "\\%u", unsigned(c));
                out += buffer;
            } else {
                out += char(c);
            }
        }
        return out + '"';
    }
    case LuaValue::Type::Table:
        break;
    }
    std::vector<std::pair<LuaValue, const LuaValue*>> entries; // by key: the last entry of a key stays
    auto put = [&entries](const LuaValue& key, const LuaValue& value) {
        std::erase_if(entries, [&key](const auto& e) { return e.first.sameValue(key); });
        if (!value.isNil())
            entries.emplace_back(key, &value);
    };
    for (std::size_t i = 0; i < v.items.size(); ++i)
        put(LuaValue::makeNumber(double(i + 1)), v.items[i]);
    for (const LuaField& f : v.fields)
        put(f.key, f.value);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        if (a.first.type != b.first.type)
            return a.first.type < b.first.type; // "number" < "string" < "table", as Lua compares type names
        return a.first.isNumber() ? a.first.number < b.first.number : a.first.text < b.first.text;
    });
    std::string out = "{";
    for (const auto& [key, value] : entries)
        out += (out.size() > 1 ? ",[" : "[") + luaView(key) + "]=" + luaView(*value);
    return out + "}";
}

// `v` with every minus zero made 0: a zero's sign is nothing the game uses (positions, angles,
// sizes), and a level file cannot write minus zero as a constant (Lua 4.0 reads "-0" as 0).
LuaValue signlessZeros(LuaValue v)
{
    if (v.isNumber() && v.number == 0) {
        v.number = 0;
        v.text.clear();
    }
    for (LuaValue& item : v.items)
        item = signlessZeros(std::move(item));
    for (LuaField& field : v.fields)
        field.value = signlessZeros(std::move(field.value));
    return v;
}

// What the game sees when it runs a level, as the runner records it: one line per call and per
// global, sorted, in the form of tests/support/level_calls.lua ("C <chunk> name(args)").
class ViewSink final : public ReadSink {
public:
    QStringList lines;
    std::string luaLines; // the same as level_calls.lua prints them, for lua5.4's view
    int itemCalls = 0;
    void call(const LevelCall& c) override
    {
        static const std::set<std::string> items = {"addPoint", "addAsteroid", "addCloud", "addDustCloud",
            "addSquadron", "addNebula", "addPebble", "addSalvage"};
        // Points that are no player's start ("fx_point1") are kept as calls, not made items.
        const bool namedPoint =
            c.name == "addPoint" && !c.args.empty() && c.args[0].isString() && c.args[0].text.rfind("StartPos", 0) != 0;
        itemCalls += items.count(c.name) && !namedPoint ? 1 : 0;
        static const char* const chunks[] = {"DetermChunk", "NonDetermChunk", "main"};
        std::string text = std::string("C ") + chunks[static_cast<int>(c.chunk)] + " " + c.name + "(";
        std::string lua = text;
        for (std::size_t i = 0; i < c.args.size(); ++i) {
            if (i > 0) {
                text += ", ";
                lua += ", ";
            }
            const LuaValue arg = signlessZeros(c.args[i]);
            text += luaText(arg);
            lua += luaView(arg);
        }
        lines << QString::fromStdString(text + ")");
        luaLines += lua + ")\n";
    }
    void global(std::string_view name, const LuaValue& value, qint64) override
    {
        lines << QString::fromStdString("G " + std::string(name) + " " + luaText(value));
        luaLines += "G " + std::string(name) + " " + luaView(value) + "\n";
    }
    void problem(qint64, const QString&) override {}
    QStringList sorted() const
    {
        QStringList s = lines;
        std::sort(s.begin(), s.end());
        return s;
    }
    // As gameView() reads lua5.4's output.
    QStringList luaSorted() const
    {
        QStringList s = QString::fromLatin1(luaLines).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        std::sort(s.begin(), s.end());
        return s;
    }
};

// A level opened by its script, and the level saved from it.
struct Opened {
    Level level;
    ScriptRead read;
    QByteArray saved;
};

Opened openByScript(const QByteArray& source, const Catalogue& catalogue)
{
    Opened o;
    o.level.document.setPlayerColours();
    ModelLists models(catalogue);
    o.read = buildRecordedScript(recordLevelScript(source, QStringLiteral("level"), {}), o.level, models);
    o.saved = writeLevel(o.level, models, true);
    return o;
}

ViewSink runnerView(const QByteArray& source)
{
    ViewSink view;
    runLevelScript(source, QStringLiteral("level"), view);
    return view;
}

TEST(ScriptLevels, ASaveOfARealMapKeepsWhatTheGameSees)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "the real levels are missing";
    const Catalogue catalogue;
    int opened = 0;
    int keptWhole = 0;
    int keptByLua = 0;
    QStringList missingIncludes;
    for (const QString& file : files) {
        const QByteArray source = readBytes(file);
        if (source.startsWith("\x1bLua"))
            continue;
        const std::string name = QFileInfo(file).fileName().toStdString();
        const ViewSink original = runnerView(source);
        const Opened o = openByScript(source, catalogue);
        ++opened;
        // Every item call the script makes becomes an item.
        EXPECT_EQ(o.read.read.itemsRead, original.itemCalls) << name;
        for (const ReadProblem& p : o.read.read.problems) {
            if (p.reason.startsWith(QLatin1String("The included file"))
                && !missingIncludes.contains(QFileInfo(file).fileName()))
                missingIncludes << QFileInfo(file).fileName();
        }
        // A save leaves out the start points beyond the player count (the editor asks first):
        // 2p_Veil_of_Fire places four for its two players.
        auto savedChange = [&o](const QStringList& before, const QStringList& after) {
            GameViewChange change = gameViewChange(before, after);
            change.lost.removeIf([&o](const QString& line) {
                for (int slot = o.level.settings.playerCount(); slot < playerSlots; ++slot) {
                    if (line.contains(QStringLiteral(" addPoint(\"StartPos%1\"").arg(slot)))
                        return true;
                }
                return false;
            });
            return change;
        };
        const GameViewChange change = savedChange(original.sorted(), runnerView(o.saved).sorted());
        EXPECT_TRUE(change.same()) << name << change.text();
        keptWhole += change.same();
        // Independently of the runner's reading of the saved file: lua5.4 runs it as the game does.
        if (haveLua()) {
            QString error;
            const QStringList byLua = gameView(o.saved, &error);
            ASSERT_FALSE(byLua.isEmpty()) << name << error.toStdString();
            const GameViewChange luaChange = savedChange(original.luaSorted(), byLua);
            EXPECT_TRUE(luaChange.same()) << name << " (lua5.4)" << luaChange.text();
            keptByLua += luaChange.same();
        }
    }
    EXPECT_EQ(opened, 47);
    // The maps that include files of their mods, which are not beside them, name what is
    // missing: 4p_crossover, 4p_junkyard, gaia and the five Mikali maps.
    EXPECT_EQ(missingIncludes.size(), 8) << missingIncludes.join(QLatin1Char(' ')).toStdString();
    // Every map keeps what the game sees, those that call random too: the runner seeds its
    // random numbers from the file, so each run of a file builds the same layout.
    EXPECT_EQ(keptWhole, 47);
    EXPECT_EQ(keptByLua, haveLua() ? 47 : 0);
}

// An independent check of the runner: on the maps made of plain calls, running the script and
// reading its lines build the same level.
TEST(ScriptLevels, OnPlainMapsRunningTheScriptBuildsWhatTheLineReaderBuilds)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "the real levels are missing";
    const Catalogue catalogue;
    int compared = 0;
    for (const QString& file : files) {
        QByteArray source = readBytes(file);
        Level level;
        level.document.setPlayerColours();
        ModelLists models(catalogue);
        QBuffer buffer(&source);
        buffer.open(QIODevice::ReadOnly);
        const ReadResult lines = readLevel(buffer, level, models);
        if (lines.scriptInChunks > 0 || lines.callsSkipped > 0 || source.startsWith("\x1bLua")
            || std::any_of(lines.problems.begin(), lines.problems.end(),
                [](const ReadProblem& p) { return p.reason.contains(QLatin1String("includes")); }))
            continue;
        ++compared;
        const Opened byScript = openByScript(source, catalogue);
        EXPECT_EQ(byScript.read.read.itemsRead, lines.itemsRead) << file.toStdString();
        const GameViewChange change =
            gameViewChange(runnerView(writeLevel(level, models, true)).sorted(), runnerView(byScript.saved).sorted());
        EXPECT_TRUE(change.same()) << file.toStdString() << change.text();
    }
    EXPECT_EQ(compared, 12);
}

// A level as the editor writes it, opened by its script: its numbers come without numerals, yet
// every item is as the editor writes it (a cloud's 0.0 is 0), so no record keeps its call (a level
// at the cap would hold every call twice) and a save writes the chunks' bytes again.
TEST(ScriptLevels, ALevelTheEditorWroteOpensByItsScriptWithoutKeepingItsCalls)
{
    const Catalogue catalogue;
    Level level;
    level.document.setPlayerColours();
    level.settings.playerIndex = 0;
    PlayerStartRecord& start = level.document.player(0);
    start.posX = 100;
    start.orientation = 90.0f;
    for (ItemKind kind : arrayKinds) {
        level.document.visit(kind, 0, [&](auto& sample) {
            auto r = std::decay_t<decltype(sample)>{};
            r.posX = 1200;
            r.posY = -300;
            r.posZ = 45;
            if constexpr (std::is_same_v<decltype(r), CloudRecord>) {
                r.red = 128;
                r.green = 64;
                r.blue = 255;
                r.size = 1000;
            }
            if constexpr (!std::is_same_v<decltype(r), PlayerStartRecord>)
                level.document.appendItem(kind, r);
        });
    }
    ModelLists models(catalogue);
    const QByteArray written = writeLevel(level, models, true);
    ASSERT_TRUE(written.contains(", 0.0, 1000)")) << written.toStdString();

    const Opened o = openByScript(written, catalogue);
    for (ItemKind kind : arrayKinds) {
        ASSERT_EQ(o.level.document.liveCount(kind), 1) << kindInfo(kind).name;
        o.level.document.visit(kind, 0, [&](const auto& r) { EXPECT_FALSE(r.source) << kindInfo(kind).name; });
    }
    // (The player table comes back from the script's globals in the order it had there.)
    const auto chunks = [](const QByteArray& file) {
        return file.mid(file.indexOf("function DetermChunk")).toStdString();
    };
    EXPECT_EQ(chunks(o.saved), chunks(written));
}

} // namespace
