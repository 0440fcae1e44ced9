// Thousands of seeded random user actions on the editor. After every action the object list, the
// labels and the level must agree; every few hundred actions a save, and a load of that file into a
// fresh editor, must give the same level back. STARLOOM_MONKEY_ACTIONS=N runs longer,
// STARLOOM_MONKEY_SEED=S another sequence.

#include "EditorFixture.h"

#include "TestSupport.h"

#include "levelfile/LevelWriter.h"

#include <QTemporaryDir>

#include <random>
#include <set>
#include <utility>

using namespace starloom;
using namespace starloom::test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underSanitizer = true;
#else
constexpr bool underSanitizer = false;
#endif

// Texts a user might type into a number field, the bad ones included.
const char* const fieldTexts[] = {"0", "1", "128", "255", "-5", "2.5", "3.5", "100", "32767", "32768", "-32769",
    "2147483648", "1e309", "-1e309", "abc", "", " 7 ", "0x10", "--5", "1.5.5", "-nan", "inf", "1e-320", "12abc",
    "45.25", "-0", "9999999999", "1e0005"};
// Custom model names, readable and not.
const char* const names[] = {"my_rock", "kus_scout", "meg_custom", "a\\b", "", "two words", "quo\"te", "comma,",
    "br(ack)et", "caf\xe9", "Custom", "hgn_scout", "tab\tname"};
// Level descriptions, backgrounds and music (any 8-bit text).
const char* const texts[] = {"NewMap", "Duel", "Say \"hi\"", "back\\slash", "line\nbreak", "", "  padded  ", "m07",
    "Battle/battle_06", "caf\xe9"};
// World and grid sizes and camera distances: numbers for the options window.
const char* const sizeTexts[] = {"30000", "20000", "1000", "50000.5", "1e5", "0", "-5", "abc", "", "1e999", "10 km"};
const char* const cameraTexts[] = {"5000", "230000", "0", "12.5", "1e4"};

struct Monkey {
    std::mt19937 rng;
    QString folder;
    RandomSource random;
    ScriptedHost host;
    MemorySettingsStore store;
    std::unique_ptr<Editor> editor;
    std::vector<QString> saved;
    int checks = 0;

    Monkey(std::uint32_t seed, QString where) : rng(seed), folder(std::move(where))
    {
        auto numbers = std::make_shared<std::mt19937>(seed + 1);
        random = [numbers] { return double((*numbers)() >> 5) / double(1u << 27); };
        editor = std::make_unique<Editor>(host, store, random, QString());
    }

    int pick(std::size_t n) { return n == 0 ? 0 : static_cast<int>(rng() % n); }
    template <std::size_t N> QString any(const char* const (&list)[N]) { return QString::fromLatin1(list[pick(N)]); }
    double coordinate()
    {
        const int kind = pick(10);
        return kind == 0 ? (pick(2) ? 1 : -1) * 1e10
            : kind == 1  ? 0
                         : double(pick(80001)) - 40000 + double(pick(100)) / 100;
    }
    QString fieldText() { return pick(3) == 0 ? QString::number(pick(70000) - 35000) : any(fieldTexts); }
    void clickTop(Qt::MouseButtons buttons = Qt::NoButton)
    {
        editor->moveOnTopView(buttons, Qt::NoModifier, QPointF(coordinate(), coordinate()));
        editor->clickTopView();
    }
    int customEntry() const { return int(editor->panel().models.size()) - 1; } // "Custom" ends the lists that have it

    struct Action {
        const char* name;
        int weight;
        void (*run)(Monkey&, Editor&);
    };

    void options()
    {
        Editor& e = *editor;
        const MapSettings before = e.mapSettings();
        const QString gridBefore = e.gridSize();
        MapSettings& s = e.mapSettings();
        s.levelDesc = any(texts);
        host.yesNoAnswers.push_back(pick(2) == 0); // lowering the count below placed start points asks
        if (!e.setPlayerIndex(pick(int(playerCountEntries().size()))))
            host.yesNoAnswers.clear();
        host.yesNoAnswers.clear();
        s.sizeX = any(sizeTexts);
        s.sizeY = any(sizeTexts);
        s.sizeZ = any(sizeTexts);
        s.cameraMin = any(cameraTexts);
        s.cameraMax = any(cameraTexts);
        if (pick(2))
            s.background = any(texts);
        if (pick(2))
            s.music = any(texts);
        e.setGridSize(any(sizeTexts));
        e.setFontSizeIndex(pick(11));
        if (!e.acceptOptions()) { // the window stays open on a bad size; the user puts the sizes back
            s.sizeX = before.sizeX;
            s.sizeY = before.sizeY;
            s.sizeZ = before.sizeZ;
            e.setGridSize(gridBefore);
            ASSERT_TRUE(e.acceptOptions());
        }
    }
    void save()
    {
        const QString path = folder + QStringLiteral("/save-%1.level").arg(pick(3));
        host.saveNames = {pick(10) == 0 ? folder : path}; // now and then a folder's name
        if (editor->saveAs())
            saved.push_back(path);
        host.saveNames.clear();
    }
    void load()
    {
        // Loading appends: keep the level small enough for thousands of actions.
        const bool none = editor->rows().size() > 300 || saved.empty();
        host.openNames = {none ? folder + QStringLiteral("/none.level") : saved[std::size_t(pick(saved.size()))]};
        editor->loadChosenFile();
        host.openNames.clear();
    }

    // What must hold after every action.
    void checkInvariants(const char* action, int step) const
    {
        const Editor& e = *editor;
        const LevelDocument& doc = e.document();
        SCOPED_TRACE(testing::Message() << "after action " << step << " (" << action << ")");
        std::set<std::pair<int, int>> named;
        std::array<int, 10> rowsOfKind{};
        for (int i = 0; i < int(e.rows().size()); ++i) {
            const ObjectRow& row = e.rows()[std::size_t(i)];
            ++rowsOfKind[std::size_t(typeIdOf(row.kind))];
            // Loading a start point into a slot that holds one adds a second row for the slot; every
            // other item has exactly one row.
            const bool start = row.kind == ItemKind::PlayerStart;
            ASSERT_TRUE(named.insert({typeIdOf(row.kind), row.arrayId}).second || start)
                << "two rows for one item at row " << i;
            ASSERT_TRUE(start ? doc.exists(row.kind, row.arrayId) : doc.isLive(row.kind, row.arrayId))
                << "row " << i << " names nothing";
            const MapLabel label = e.labelFor(i);
            ASSERT_EQ(label.caption, row.text);
            ASSERT_EQ(label.key, rowKey(i));
            ASSERT_EQ(e.rowForKey(label.key), i);
        }
        ASSERT_EQ(e.labelCount(), int(e.rows().size()));
        for (ItemKind kind : arrayKinds) {
            ASSERT_EQ(rowsOfKind[std::size_t(typeIdOf(kind))], doc.liveCount(kind)) << kindInfo(kind).name;
            ASSERT_EQ(e.liveCount(kind), doc.liveCount(kind)) << kindInfo(kind).name;
        }
        for (int slot = 0; slot < playerSlots; ++slot)
            ASSERT_TRUE(doc.player(slot).label.isEmpty() || named.count({typeIdOf(ItemKind::PlayerStart), slot}))
                << "start " << slot << " has no row";
        ASSERT_GE(e.selectedRow(), -1);
        ASSERT_LT(e.selectedRow(), int(e.rows().size()));
    }

    // The user places the start points the level lacks and saves; the file loaded into a fresh
    // editor and saved again gives the same bytes.
    void checkRoundTrip(int step)
    {
        SCOPED_TRACE(testing::Message() << "round trip after action " << step);
        const QString first = folder + QStringLiteral("/check-a.level"),
                      second = folder + QStringLiteral("/check-b.level");
        QFile::remove(first);
        QFile::remove(second);
        for (int slot = 0; slot < std::min(editor->mapSettings().playerCount(), playerSlots); ++slot)
            if (editor->document().player(slot).label.isEmpty()) {
                editor->chooseKind(ItemKind::PlayerStart);
                editor->chooseModel(slot);
                clickTop();
            }
        host.saveNames = {first};
        if (!startsBeyondPlayerCount(editor->document(), editor->mapSettings().playerCount()).empty())
            host.yesNoAnswers = {true}; // saved without them
        ASSERT_TRUE(editor->saveAs()) << host.lastNote().toStdString();
        host.yesNoAnswers.clear();
        ScriptedHost freshHost;
        MemorySettingsStore freshStore;
        Editor fresh(freshHost, freshStore, random, QString());
        freshHost.openNames = {first};
        ASSERT_TRUE(fresh.loadChosenFile()) << freshHost.lastNote().toStdString();
        ASSERT_TRUE(freshHost.messages.empty() && freshHost.notes.empty()) << freshHost.lastNote().toStdString();
        for (ItemKind kind : arrayKinds)
            ASSERT_EQ(fresh.document().liveCount(kind), editor->document().liveCount(kind));
        freshHost.saveNames = {second};
        ASSERT_TRUE(fresh.saveAs());
        const QList<QByteArray> a = readBytes(first).split('\n'), b = readBytes(second).split('\n');
        for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
            ASSERT_EQ(b[i].toStdString(), a[i].toStdString()) << "line " << i + 1 << " differs after a save and a load";
        ASSERT_EQ(b.size(), a.size());
        ++checks;
    }
};

const Monkey::Action actions[] = {
    {"select kind", 1, [](Monkey& m, Editor& e) { e.chooseKind(allKinds[m.pick(9)]); }},
    {"place a custom item", 1,
        [](Monkey& m, Editor& e) {
            e.chooseKind(allKinds[m.pick(9)]), e.chooseModel(m.customEntry()), e.setCustomName(m.any(names)),
                m.clickTop();
        }},
    {"pick model", 1,
        [](Monkey& m, Editor& e) {
            e.chooseModel(m.pick(3) == 0 ? m.customEntry() : m.pick(e.panel().models.size() + 2) - 1);
        }},
    {"custom name", 1, [](Monkey& m, Editor& e) { e.setCustomName(m.any(names)); }},
    {"field text", 1, [](Monkey& m, Editor& e) { e.setFieldText(m.pick(4), m.fieldText()); }},
    {"height controls", 1,
        [](Monkey& m, Editor& e) {
            e.setSetHeightChecked(m.pick(2)), e.setSetHeightText(m.fieldText()), e.setRandomHeightChecked(m.pick(2)),
                e.setRandomHeightText(m.fieldText());
        }},
    {"click top view", 3, [](Monkey& m, Editor&) { m.clickTop(m.pick(3) == 0 ? Qt::LeftButton : Qt::NoButton); }},
    {"timer and mouse-up", 1,
        [](Monkey&, Editor& e) {
            e.repeatWhileHeld(), e.releaseOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(0, 0));
        }},
    {"click front view", 1,
        [](Monkey& m, Editor& e) {
            e.moveOnFrontView(QPointF(m.coordinate(), m.coordinate())), e.setHeightAtFrontPointer();
        }},
    {"click row", 2, [](Monkey& m, Editor& e) { e.selectRow(m.pick(e.rows().size() + 1) - 1), e.editSelectedRow(); }},
    {"click label", 1, [](Monkey& m, Editor& e) { e.clickLabel(m.pick(std::size_t(e.labelCount()) + 1)); }},
    {"apply", 1,
        [](Monkey& m, Editor& e) {
            for (int i = 0; i < 4; ++i)
                e.setFieldText(i, m.fieldText());
            e.applyPanel();
        }},
    {"delete", 1, [](Monkey&, Editor& e) { e.deleteObject(); }},
    {"set player", 1,
        [](Monkey& m, Editor& e) {
            m.host.textAnswers.push_back(m.pick(5) == 0 ? std::nullopt : std::optional<QString>(m.fieldText())),
                e.setStartPlayer();
        }},
    {"zoom", 1,
        [](Monkey& m, Editor& e) {
            switch (m.pick(5)) {
            case 0:
                e.armZoom();
                break;
            case 1:
                e.zoomOutFully();
                break;
            case 2:
                e.zoomAround(m.pick(7) - 3, QPointF(m.coordinate(), m.coordinate()));
                break;
            case 3:
                e.panTopView(m.coordinate(), m.coordinate());
                break;
            default:
                e.disarmZoom();
            }
        }},
    {"labels menu", 1, [](Monkey& m, Editor& e) { m.pick(2) ? e.toggleLabels(m.pick(11)) : e.toggleAllLabels(); }},
    {"options", 1, [](Monkey& m, Editor&) { m.options(); }},
    {"colour", 1,
        [](Monkey& m, Editor& e) {
            m.host.colourAnswers.push_back(m.pick(3) == 0 ? std::nullopt : std::optional<std::int32_t>(int(m.rng()))),
                e.pickColour();
        }},
    {"undo or redo", 1, [](Monkey& m, Editor& e) { m.pick(2) ? e.undo() : e.redo(); }},
    {"save or new level", 1, [](Monkey& m, Editor& e) { m.pick(8) == 0 ? e.newLevel() : m.save(); }},
    {"load", 1, [](Monkey& m, Editor&) { m.load(); }},
};

// One random action; returns its name for the failure report.
const char* act(Monkey& m)
{
    int total = 0;
    for (const Monkey::Action& a : actions)
        total += a.weight;
    int n = m.pick(std::size_t(total));
    for (const Monkey::Action& a : actions) {
        if ((n -= a.weight) < 0) {
            a.run(m, *m.editor);
            return a.name;
        }
    }
    return "none";
}

TEST(Monkey, RandomActionsKeepEveryViewOfTheLevelInStep)
{
    // The sanitizers make every action some twenty times slower: a quarter of the run there.
    const int usual = underSanitizer ? 5000 : 20000;
    const int actionCount = qEnvironmentVariableIsSet("STARLOOM_MONKEY_ACTIONS")
        ? qEnvironmentVariableIntValue("STARLOOM_MONKEY_ACTIONS")
        : usual;
    const auto seed = qEnvironmentVariableIsSet("STARLOOM_MONKEY_SEED")
        ? static_cast<std::uint32_t>(qEnvironmentVariableIntValue("STARLOOM_MONKEY_SEED"))
        : 20040501u;
    QTemporaryDir dir;
    Monkey monkey(seed, dir.path());
    for (int step = 1; step <= actionCount; ++step) {
        monkey.checkInvariants(act(monkey), step);
        if (!HasFatalFailure() && (step % 500 == 0 || step == actionCount))
            monkey.checkRoundTrip(step);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(monkey.checks, actionCount / 500 + (actionCount % 500 != 0));
}

// What the monkey found, kept as a plain case.
TEST_F(EditorTest, AShipNamedLikeAMegalithIsRefused)
{
    place(ItemKind::PlayerStart, 0, 0, 0);
    placeCustom(ItemKind::Ship, QStringLiteral("MEG_custom"));
    EXPECT_EQ(doc().itemCount(ItemKind::Ship), 0); // it would come back from the file as a megalith
    EXPECT_TRUE(host.lastMessage().contains(QLatin1String("meg_")));
    placeCustom(ItemKind::Salvage, QStringLiteral("meg_chunk")); // other kinds may
    EXPECT_EQ(doc().itemCount(ItemKind::Salvage), 1);
}

} // namespace
