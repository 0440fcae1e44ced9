#include "document/Catalogue.h"

#include <gtest/gtest.h>

#include <map>

using namespace starloom;

namespace {

TEST(Catalogue, BuiltInListsWithoutAGameFolder)
{
    const Catalogue catalogue;
    struct Expect {
        ItemKind kind;
        int names;
        bool custom;
        const char* first;
    };
    for (const Expect& e :
        {Expect{ItemKind::Asteroid, 5, true, "asteroid_1"}, Expect{ItemKind::Cloud, 4, false, "cloud_0"},
            Expect{ItemKind::DustCloud, 9, true, "dustcloud_0"}, Expect{ItemKind::Megalith, 83, false, "meg_asteroid"},
            Expect{ItemKind::Nebula, 14, true, "m05_dustcloud_nebula"}, Expect{ItemKind::Pebble, 3, false, "pebble_0"},
            Expect{ItemKind::Salvage, 14, true, "slv_chunk_lrg01"},
            Expect{ItemKind::Ship, 77, true, "hgn_assaultcorvette"}}) {
        const QStringList list = catalogue.modelList(e.kind);
        EXPECT_EQ(list.size(), e.names + (e.custom ? 1 : 0)) << kindInfo(e.kind).name;
        EXPECT_EQ(list.first(), QString::fromLatin1(e.first)) << kindInfo(e.kind).name;
        EXPECT_EQ(list.last() == customEntry, e.custom) << kindInfo(e.kind).name;
    }
}

TEST(Catalogue, PlayerStartListFollowsThePlayerCount)
{
    const Catalogue catalogue;
    EXPECT_EQ(
        catalogue.modelList(ItemKind::PlayerStart, 2), (QStringList{"Player 1", "Player 2", "Player 3", "Player 4"}));
    EXPECT_EQ(catalogue.modelList(ItemKind::PlayerStart, -1), QStringList{"Player 1"});
}

// A source that lists fixed entries per folder ("ship" ...); folders it lacks give nullopt.
class FakeSource final : public ModelSource {
public:
    FakeSource(const char* name, std::map<QString, QStringList> folders)
        : m_folders(std::move(folders)),
          m_name(QString::fromLatin1(name))
    {
    }
    QString description() const override { return m_name; }
    std::optional<QStringList> entries(const QString& folder) const override
    {
        ++reads;
        const auto it = m_folders.find(folder);
        return it == m_folders.end() ? std::nullopt : std::optional(it->second);
    }
    std::map<QString, QStringList> m_folders;
    mutable int reads = 0;

private:
    QString m_name;
};

Catalogue catalogueOf(std::vector<std::shared_ptr<FakeSource>> sources)
{
    return Catalogue(QStringLiteral("game"), {sources.begin(), sources.end()});
}

struct MergeCase {
    ItemKind kind;
    QStringList loose, mod, archive;
    QStringList expected;
    const char* origins;
};

TEST(Catalogue, SourcesAreMergedInOrderUnderTheSameRules)
{
    const QStringList none = {"-"}; // the source has no such folder
    const MergeCase cases[] = {
        // The "meg_" test compares letter case in every source: a loose Meg_X is a ship, an archive's meg_x a megalith.
        {ItemKind::Ship, {"hgn_scout", "Meg_X", "x.lua"}, none, {"meg_x", "vgr_probe"},
            {"hgn_scout", "Meg_X", "vgr_probe", "Custom"}, "game:2 archive:1"},
        {ItemKind::Megalith, {"hgn_scout", "Meg_X"}, none, {"meg_x", "meg_y.lua"}, {"meg_x", "meg_y.lua"},
            "game:0 archive:2"},
        // Duplicates without regard to letter case are dropped; the first source's spelling stays.
        {ItemKind::Ship, {"Hgn_Scout"}, {"HGN_SCOUT", "kus_mothership", "Kus_Mothership"}, {"hgn_scout", "tai_probe"},
            {"Hgn_Scout", "kus_mothership", "tai_probe", "Custom"}, "game:1 mod:1 archive:1"},
        // No source has the folder: the built-in names; an empty folder somewhere: only "Custom".
        {ItemKind::Pebble, none, none, none, {"pebble_0", "pebble_1", "pebble_2"}, ""},
        {ItemKind::Nebula, none, {}, none, {"Custom"}, "mod:0"},
        {ItemKind::Cloud, none, none, {"cloud_a", "cloud_a", ".", ".."}, {"cloud_a"}, "archive:1"},
    };
    for (const MergeCase& c : cases) {
        auto source = [&](const char* name, const QStringList& entries) {
            std::map<QString, QStringList> folders;
            if (entries != none)
                folders[Catalogue::dataFolder(c.kind)] = entries;
            return std::make_shared<FakeSource>(name, folders);
        };
        const ModelListReport r =
            catalogueOf({source("game", c.loose), source("mod", c.mod), source("archive", c.archive)}).report(c.kind);
        QStringList origins;
        for (const ModelOrigin& o : r.origins)
            origins << o.source + u':' + QString::number(o.names);
        EXPECT_EQ(r.names, c.expected) << kindInfo(c.kind).name << " " << c.loose.join(u',').toStdString();
        EXPECT_EQ(origins.join(u' '), QString::fromLatin1(c.origins))
            << kindInfo(c.kind).name << " " << c.loose.join(u',').toStdString();
        EXPECT_EQ(r.builtIn, origins.isEmpty()) << kindInfo(c.kind).name << " " << c.loose.join(u',').toStdString();
    }
    EXPECT_EQ(Catalogue::dataFolder(ItemKind::Asteroid) + u'|' + Catalogue::dataFolder(ItemKind::Ship),
        QStringLiteral("resource\\asteroid|ship"));
}

Catalogue catalogueOfManyNames()
{
    QStringList ships, clouds;
    for (int i = 0; i < 40000; ++i)
        ships << QStringLiteral("ship_%1").arg(i);
    for (int i = 0; i < 32767; ++i)
        clouds << QStringLiteral("cloud_%1").arg(i);
    return catalogueOf(
        {std::make_shared<FakeSource>("big", std::map<QString, QStringList>{{"ship", ships}, {"cloud", clouds}})});
}

TEST(Catalogue, ListsPastTheSixteenBitIndexAreCut)
{
    const Catalogue catalogue = catalogueOfManyNames();
    const QStringList list = catalogue.modelList(ItemKind::Ship);
    // Every entry, "Custom" included, has an index that a record's 16-bit modelIndex can hold.
    EXPECT_EQ(list.size(), qsizetype(maxModelEntries));
    EXPECT_EQ(list[32765], QStringLiteral("ship_32765"));
    EXPECT_EQ(list.last(), customEntry);
    EXPECT_EQ(findModelForRead(list, QStringLiteral("ship_32765")), 32765);
    EXPECT_EQ(catalogue.modelList(ItemKind::Cloud).size(), 32767) << "a kind without \"Custom\" keeps one name more";
}

TEST(Catalogue, ACutListIsReportedWithTheNamesLeftOut)
{
    EXPECT_EQ(catalogueOfManyNames().problems(),
        QStringList{
            "The Ship list holds more names than the editor can number: the first 32766 are kept and 7234 left out"});
}

struct FindCase {
    ItemKind kind;
    const char* find;
    int expected;
};

TEST(Catalogue, FindTypeFromStringTakesTheLastEntryContainingTheName)
{
    const Catalogue catalogue;
    for (const FindCase& c :
        {FindCase{ItemKind::Ship, "HGN_SCOUT", 30}, FindCase{ItemKind::Ship, "hgn_assaultcorvette", 1},
            FindCase{ItemKind::Megalith, "meg_bentus_ruin_1", 15}, FindCase{ItemKind::Ship, "nothing", -1},
            FindCase{ItemKind::Ship, "", 77}, FindCase{ItemKind::Ship, "cUsToM", 77}})
        EXPECT_EQ(findTypeFromString(catalogue.modelList(c.kind), QString::fromLatin1(c.find)), c.expected) << c.find;
}

TEST(Catalogue, TheReaderPrefersAnEqualName)
{
    const Catalogue catalogue;
    for (const FindCase& c :
        {FindCase{ItemKind::Ship, "hgn_assaultcorvette", 0}, FindCase{ItemKind::Megalith, "meg_bentus_ruin_1", 5},
            FindCase{ItemKind::Megalith, "Meg_VeilDebris_Chunk4", 70}, FindCase{ItemKind::Ship, "assaultcorvette", 1},
            FindCase{ItemKind::Ship, "zzz", -1}})
        EXPECT_EQ(findModelForRead(catalogue.modelList(c.kind), QString::fromLatin1(c.find)), c.expected) << c.find;
}

TEST(Catalogue, ModelListsAskEachKindOnce)
{
    auto source = std::make_shared<FakeSource>("game", std::map<QString, QStringList>{{"pebble", {"p1"}}});
    const Catalogue catalogue = catalogueOf({source});
    ModelLists lists(catalogue);
    EXPECT_EQ(lists.lookup(ItemKind::Pebble, QStringLiteral("p1")), 0);
    source->m_folders["pebble"] << "p2"; // a change during one load is not seen
    EXPECT_EQ(lists.list(ItemKind::Pebble).size(), 1);
    EXPECT_TRUE(lists.entry(ItemKind::Pebble, -1).isNull());
    EXPECT_TRUE(lists.entry(ItemKind::Pebble, 5).isNull());
    EXPECT_EQ(source->reads, 1);
}

} // namespace
