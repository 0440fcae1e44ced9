#include "gamedata/BigArchive.h"

#include "BigArchiveWriter.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace starloom;
using namespace starloom::test;

namespace {

const QByteArray script = "-- a library\nfunction f() return 1 end\n";
const QByteArray bigScript = QByteArray("x = 1\n").repeated(5000);

std::vector<BigEntry> sample()
{
    return {{"scripts\\lib.lua", script}, {"scripts\\big.lua", bigScript, true},
        {"ship\\hgn_scout\\hgn_scout.ship", "ship"}, {"pebble\\pebble_0\\"}};
}

QString joined(const std::optional<QStringList>& list)
{
    return list ? list->join(u',') : QStringLiteral("none");
}

TEST(BigArchive, ListsItsEntriesWhetherPathsStartAtTheRootOrNot)
{
    for (const BigLayout& layout : {BigLayout{}, BigLayout{"Data", true}, BigLayout{"Homeworld2", true}}) {
        const BigArchive a = BigArchive::fromBytes(writeBigArchive(sample(), layout).bytes, "sample.big");
        ASSERT_TRUE(a.isValid()) << a.error().toStdString();
        EXPECT_EQ(a.folders().join(u','), QStringLiteral(",pebble,scripts,ship,pebble\\pebble_0,ship\\hgn_scout"));
        EXPECT_EQ(a.filePath(2), QStringLiteral("ship\\hgn_scout\\hgn_scout.ship"));
        const std::pair<const char*, const char*> entries[] = {{"", "pebble,scripts,ship"}, {"ship", "hgn_scout"},
            {"SHIP/HGN_SCOUT", "hgn_scout.ship"}, {"scripts", "big.lua,lib.lua"}, {"pebble\\pebble_0", ""},
            {"nebula", "none"}, {"ship\\hgn_scout\\hgn_scout.ship", "none"}};
        for (const auto& [folder, expected] : entries)
            EXPECT_EQ(joined(a.entries(QString::fromLatin1(folder))), QString::fromLatin1(expected)) << folder;
    }
    BigBytes unnamed = writeBigArchive(sample());
    putU32(unnamed.bytes, unnamed.fileTable + 2 * 17, 0); // hgn_scout.ship takes the root folder's empty name
    EXPECT_EQ(
        BigArchive::fromBytes(unnamed.bytes, "a.big").entries(u"ship\\hgn_scout").value_or(QStringList{"none"}).size(),
        0);
}

TEST(BigArchive, ReadsEveryFileInAnyLetterCaseStoredOrCompressed)
{
    for (const bool raw : {false, true}) {
        const BigArchive a = BigArchive::fromBytes(writeBigArchive(sample(), {"Data", false, raw}).bytes, "sample.big");
        const std::pair<const char*, QByteArray> files[] = {
            {"scripts\\lib.lua", script}, {"Scripts/BIG.lua", bigScript}, {"ship/hgn_scout/hgn_scout.ship", "ship"}};
        for (const auto& [path, data] : files) {
            QString error;
            EXPECT_EQ(a.read(a.find(QString::fromLatin1(path)), &error).value_or("failed: " + error.toUtf8()), data)
                << path;
        }
        EXPECT_EQ(a.find(u"scripts\\missing.lua"), -1);
        EXPECT_FALSE(a.read(-1) || a.read(3));
    }
    QTemporaryDir dir;
    writeBigArchiveFile(dir.filePath("on disk.big"), sample());
    const BigArchive onDisk = BigArchive::open(dir.filePath("on disk.big"));
    EXPECT_EQ(onDisk.read(onDisk.find(u"scripts\\big.lua")), std::optional(bigScript));
    EXPECT_TRUE(BigArchive::open(dir.filePath("missing.big")).error().contains("missing.big"));
}

// Damage done to a sample archive, and the part of the message that says what is wrong.
struct Damage {
    const char* what;
    std::function<void(BigBytes&)> damage;
    const char* message;
};

TEST(BigArchive, DamagedOrForeignArchivesAreRefusedWithAMessage)
{
    const auto folder = [](BigBytes& b, int i, int field, std::uint16_t v) {
        putU16(b.bytes, b.folderTable + 12 * i + field, v);
    };
    const Damage cases[] = {
        {"empty", [](BigBytes& b) { b.bytes.clear(); }, "too short"},
        {"encrypted", [](BigBytes& b) { b.bytes = QByteArray(5000, '\x9c'); }, "encrypted"},
        {"header cut", [](BigBytes& b) { b.bytes.truncate(100); }, "ends inside its header"},
        {"section header cut", [](BigBytes& b) { b.bytes.truncate(190); }, "ends inside its section header"},
        {"file table cut", [](BigBytes& b) { b.bytes.truncate(b.fileTable + 20); }, "file table lies outside"},
        {"version", [](BigBytes& b) { putU32(b.bytes, 8, 3); }, "version 3"},
        {"folder offset", [](BigBytes& b) { putU32(b.bytes, 180 + 6, 0xfffffff0u); }, "folder table lies outside"},
        {"folder name", [](BigBytes& b) { putU32(b.bytes, b.folderTable + 12, 0x7fffffffu); },
            "name of folder 1 lies outside"},
        {"file name", [](BigBytes& b) { putU32(b.bytes, b.fileTable + 17, 900000u); }, "name of file 1 lies outside"},
        {"unterminated name", [](BigBytes& b) { b.bytes[b.dataStart - 1] = 'x'; }, "lies outside the name table"},
        {"folder files past the table", [&](BigBytes& b) { folder(b, 2, 10, 9); }, "folder 2 names folders or files"},
        {"folder files backwards", [&](BigBytes& b) { folder(b, 2, 8, 2), folder(b, 2, 10, 1); }, "folder 2 names"},
        {"subfolders past the table", [&](BigBytes& b) { folder(b, 0, 6, 60000); }, "folder 0 names"},
        {"table of contents", [](BigBytes& b) { putU16(b.bytes, 204 + 130, 500); }, "table of contents 0"},
    };
    for (const Damage& c : cases) {
        BigBytes b = writeBigArchive(sample());
        c.damage(b);
        const BigArchive a = BigArchive::fromBytes(b.bytes, "HW2Ships.big");
        EXPECT_FALSE(a.isValid()) << c.what << ": " << a.error().toStdString();
        EXPECT_TRUE(a.error().startsWith("HW2Ships.big")) << c.what << ": " << a.error().toStdString();
        EXPECT_TRUE(a.error().contains(QLatin1String(c.message))) << c.what << ": " << a.error().toStdString();
        EXPECT_TRUE(a.files().empty()) << c.what << ": " << a.error().toStdString();
        EXPECT_TRUE(a.folders().isEmpty()) << c.what << ": " << a.error().toStdString();
        EXPECT_FALSE(a.entries(u"ship")) << c.what << ": " << a.error().toStdString();
    }
}

TEST(BigArchive, DamagedFileDataIsRefusedWhenRead)
{
    const BigArchive intact = BigArchive::fromBytes(writeBigArchive(sample()).bytes, "a.big");
    const qsizetype packed = intact.find(u"scripts\\big.lua"), stored = intact.find(u"scripts\\lib.lua");
    const auto entry = [](BigBytes& b, qsizetype i, int field) { return b.fileTable + 17 * i + field; };
    const Damage cases[] = {
        {"data past the end", [&](BigBytes& b) { putU32(b.bytes, entry(b, stored, 5), 0xffffff00u); },
            "lies outside the file"},
        {"stored length past the end", [&](BigBytes& b) { putU32(b.bytes, entry(b, stored, 9), 1u << 30); },
            "lies outside the file"},
        {"two sizes", [&](BigBytes& b) { putU32(b.bytes, entry(b, stored, 13), 5); }, "two different sizes"},
        {"unknown storage", [&](BigBytes& b) { b.bytes[entry(b, stored, 4)] = '\x30'; }, "stored in a way"},
        {"packed data broken", [&](BigBytes& b) { b.bytes[b.dataStart + 264 + 40] = '\xff'; }, "does not unpack"},
        {"unpacked size too large", [&](BigBytes& b) { putU32(b.bytes, entry(b, packed, 13), 30001); },
            "does not unpack"},
        {"unpacked size too small", [&](BigBytes& b) { putU32(b.bytes, entry(b, packed, 13), 29999); },
            "does not unpack"},
        {"unpacked size beyond any packing", [&](BigBytes& b) { putU32(b.bytes, entry(b, packed, 13), 60u << 20); },
            "does not unpack"},
    };
    ASSERT_EQ(packed, 0);
    ASSERT_EQ(stored, 1);
    for (const Damage& c : cases) {
        BigBytes b = writeBigArchive(sample());
        c.damage(b);
        const BigArchive a = BigArchive::fromBytes(b.bytes, "a.big");
        QString error;
        const qsizetype index =
            QByteArray(c.what).startsWith("unpacked") || QByteArray(c.what).startsWith("packed") ? packed : stored;
        EXPECT_TRUE(a.isValid()) << c.what << ": " << error.toStdString();
        EXPECT_FALSE(a.read(index, &error)) << c.what << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.message))) << c.what << ": " << error.toStdString();
    }
}

} // namespace

namespace {

// Archives whose tables would cost far more than their size if their names were read once per
// entry, their files placed by every folder that lists them, their tables of contents compared
// with each other: each is read in a fraction of the memory and time that would take.
TEST(BigArchive, CraftedTablesCostWhatTheArchiveSays)
{
    const std::pair<const char*, CraftedArchive> shapes[] = {
        {"every file named by one name of 64 KB", {65535, 1, 1, 1 << 16, false}},
        {"every folder listing every file", {20000, 20000, 1, 8, true}},
        {"many tables of contents", {100, 1, 65535, 8, false}},
    };
    for (const auto& [what, shape] : shapes) {
        const BigArchive a = BigArchive::fromBytes(writeCraftedArchive(shape), "crafted.big");
        ASSERT_TRUE(a.isValid()) << what << ": " << a.error().toStdString();
        ASSERT_EQ(a.files().size(), std::size_t(shape.files)) << what;
        EXPECT_EQ(a.files().back().folder, 0) << what << ": the first folder that lists a file holds it";
        EXPECT_EQ(a.entries(a.folders().front()).value_or(QStringList()).size(), 1) << what;
        EXPECT_EQ(a.find(a.filePath(shape.files - 1)), 0) << what << ": the files share one path";
    }
}

TEST(BigArchive, DataPastTheEndIsDamaged)
{
    BigBytes big = writeBigArchive(sample());
    putU32(big.bytes, big.fileTable + 5, 1u << 30); // the first file's data far past the end
    const BigArchive a = BigArchive::fromBytes(big.bytes, "short.big");
    QString error;
    EXPECT_FALSE(a.read(0, &error));
    EXPECT_TRUE(error.startsWith(QLatin1String("short.big is damaged: the data of "))) << error.toStdString();
}

} // namespace
