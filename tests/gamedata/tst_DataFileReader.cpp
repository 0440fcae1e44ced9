#include "gamedata/DataFileReader.h"
#include "gamedata/GameSetup.h"

#include "BigArchiveWriter.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#include <sys/stat.h>

using namespace starloom;
using namespace starloom::test;

namespace {

TEST(DataFileReader, LooseFoldersFirstThenArchivesNeverOutsideTheFolders)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    makeEntry(root, "game/Data/Scripts/", true);
    writeBytes(root + "/game/Data/Scripts/Lib.lua", "loose game");
    makeEntry(root, "mod/Data/scripts/", true);
    writeBytes(root + "/mod/Data/scripts/modonly.lua", "loose mod");
    writeBytes(root + "/mod/Data/scripts/lib.lua", "shadowed by the game");
    writeBytes(root + "/secret.lua", "outside");
    QFile::link(root + "/secret.lua", root + "/game/Data/Scripts/link.lua");
    makeEntry(root, "game/Data/HW2.big", false);
    writeBigArchiveFile(root + "/game/Data/Homeworld2.big",
        {{"scripts\\lib.lua", "archive"}, {"scripts\\packed.lua", QByteArray("p").repeated(3000), true},
            {"leveldata\\multiplayer\\lib\\a.lua", "deep"}, {"scripts\\modonly.lua", "archive copy"}},
        {"Data", true});
    const DataFileReader read = dataFileReader({root + "/game/Data", root + "/mod/Data"},
        {root + "/missing.big", root + "/game/Data/HW2.big", root + "/game/Data/Homeworld2.big"});
    const std::pair<const char*, const char*> cases[] = {
        {"data:scripts/lib.lua", "loose game"}, // folder names in any letter case; the game's folder first
        {"DATA:SCRIPTS\\LIB.LUA", "loose game"},
        {"scripts/modonly.lua", "loose mod"}, // every loose folder before the archives
        {"data:scripts/packed.lua", "ppp"},   // unpacked from the archive (first three bytes)
        {"data:LevelData/Multiplayer/lib/A.lua", "deep"},
        {"data:./scripts//lib.lua", "loose game"},
        {"data:scripts/link.lua", "-"}, // a link out of the folder
        {"data:../secret.lua", "-"},
        {"data:scripts/../../secret.lua", "-"},
        {"/etc/passwd", "-"},
        {"player:profile.lua", "-"},
        {"data:C:/secret.lua", "-"},
        {"data:", "-"},
        {"data:scripts/none.lua", "-"},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(read(QString::fromLatin1(path), 1 << 20, nullptr)
                      .value_or("-")
                      .left(QByteArray(expected) == "ppp" ? 3 : 100),
            QByteArray(expected))
            << path;

    // Copies of the reader work on other threads at once.
    std::vector<std::thread> threads;
    std::atomic<int> good = 0;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([read, &good] {
            for (int i = 0; i < 50; ++i)
                good += read(QStringLiteral("data:scripts/packed.lua"), 1 << 20, nullptr).value_or(QByteArray()).size()
                    == 3000;
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good, 200);
}

TEST(DataFileReader, ReadsTheSetupsSourcesInTheirOrder)
{
    QTemporaryDir dir;
    makeEntry(dir.path(), "rm/HomeworldRM/Data/scripts/", true);
    writeBigArchiveFile(dir.filePath("rm/HomeworldRM/Data/A.big"), {{"scripts\\x.lua", "from A"}});
    writeBigArchiveFile(
        dir.filePath("rm/HomeworldRM/Data/b.big"), {{"scripts\\x.lua", "from b"}, {"scripts\\y.lua", "y from b"}});
    writeBigArchiveFile(dir.filePath("mod.big"), {{"scripts\\y.lua", "y from the mod"}});
    const GameSetup setup = chooseGame(dir.filePath("rm"), "test", {}, std::nullopt, {dir.filePath("mod.big")});
    const DataFileReader read = dataFileReader(setup);
    EXPECT_EQ(read("data:scripts/x.lua", 1 << 20, nullptr).value_or("-") + '|'
            + read("data:scripts/y.lua", 1 << 20, nullptr).value_or("-"),
        QByteArray("from A|y from the mod"));
}

} // namespace

namespace {

// A file that is found but cannot be given is told with its reason, not taken for a missing one.
TEST(DataFileReader, AFileFoundThatCannotBeReadIsToldWhy)
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    makeEntry(root, "mod/Data/scripts/", true);
    ASSERT_EQ(mkfifo(QFile::encodeName(root + "/mod/Data/scripts/fifo.lua").constData(), 0600), 0);
    writeBytes(root + "/mod/Data/scripts/long.lua", QByteArray(100, ' '));
    BigBytes big = writeBigArchive({{"scripts\\cut.lua", "x = 1"}});
    putU32(big.bytes, big.fileTable + 5, 1u << 30);
    writeBytes(root + "/cut.big", big.bytes);
    const DataFileReader read = dataFileReader({root + "/mod/Data"}, {root + "/cut.big"});
    const std::pair<const char*, QString> cases[] = {
        {"data:scripts/fifo.lua", root + "/mod/Data/scripts/fifo.lua: it is a pipe (FIFO), not a file"},
        {"data:scripts/long.lua", root + "/mod/Data/scripts/long.lua: it is 0.0 MB long"},
        {"data:scripts/cut.lua", root + "/cut.big is damaged: the data of scripts\\cut.lua lies outside the file"},
        {"data:scripts/none.lua", QString()},
    };
    for (const auto& [path, reason] : cases) {
        QString error;
        EXPECT_FALSE(read(QString::fromLatin1(path), 10, &error)) << path;
        EXPECT_TRUE(reason.isEmpty() ? error.isEmpty() : error.startsWith(reason))
            << path << ": " << error.toStdString();
    }
}

} // namespace
