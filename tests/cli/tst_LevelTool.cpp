// Runs the starloom-level executable as a user would, and checks the real levels of the game.

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace starloom;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(STARLOOM_CLI_PATH), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

QByteArray twoPlayerLevel(const QByteArray& items)
{
    return "levelDesc = \"T\"\nmaxPlayers = 2\nfunction DetermChunk()\n"
           "  addPoint(\"StartPos0\", {1, 2, 3}, {0, 0, 0})\n"
           "  addPoint(\"StartPos1\", {4, 5, 6}, {0, 45, 0})\n"
        + items + "end\n";
}

TEST(LevelTool, HelpAndVersion)
{
    EXPECT_EQ(runTool({"--version"}).out.trimmed(), QLatin1String("Star Loom Deluxe Edition v1.6"));
    const ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("rewrite IN OUT")));
    EXPECT_EQ(runTool({}).exitCode, 2);
    EXPECT_EQ(runTool({"frobnicate"}).exitCode, 2);
}

TEST(LevelTool, StatsCountsLiveItemsOfEveryKind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.level"));
    test::writeBytes(path, twoPlayerLevel("  addAsteroid(\"Asteroid_1\", {0, 0, 0}, 100, 0, 0, 0, 0)\n"
                                          "  addAsteroid(\"Asteroid_1\", {0, 0, 0}, 100, 0, 0, 0, 0)\n"
                                          "  addSquadron(\"meg_tanis\", \"meg_tanis\", {0, 0, 0}, -1, {0, 0, 0}, 0, 0)\n"
                                          "  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\n"));
    const ToolRun r = runTool({"stats", path});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QLatin1String("PlayerStart 2\nAsteroid 2\nCloud 0\nDustCloud 0\nMegalith 1\nNebula 0\n"
                                   "Pebble 0\nSalvage 0\nShip 0\n"));
    EXPECT_TRUE(r.err.contains(QLatin1String(":9: ")) && r.err.contains(QLatin1String("StartPos9"))) << r.err.toStdString();
    EXPECT_EQ(runTool({"stats", dir.filePath(QStringLiteral("missing.level"))}).exitCode, 2);
}

TEST(LevelTool, RewriteIsReproducibleAndRefusesMissingStarts)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.level"));
    const QString out = dir.filePath(QStringLiteral("out.level"));
    const QString again = dir.filePath(QStringLiteral("again.level"));
    test::writeBytes(in, twoPlayerLevel("  addPebble(\"pebble_2\", {7, 8, 9}, 0, 0, 0)\n"));
    ASSERT_EQ(runTool({"rewrite", in, out}).exitCode, 0);
    const QByteArray written = test::readBytes(out);
    EXPECT_TRUE(written.contains("loadBackground(\"m01\")"));
    EXPECT_TRUE(written.contains("addPebble(\"pebble_2\", {7, 8, 9}, 0, 0, 0) \r\n"));
    ASSERT_EQ(runTool({"rewrite", out, again}).exitCode, 0);
    EXPECT_EQ(test::readBytes(again), written);

    test::writeBytes(in, "maxPlayers = 3\n");
    const QString refused = dir.filePath(QStringLiteral("refused.level"));
    const ToolRun r = runTool({"rewrite", in, refused});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("You haven't specified all the player starting positions!")));
    EXPECT_FALSE(QFileInfo::exists(refused));
}

TEST(LevelTool, RenderDrawsBothViewsIntoAPng)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.level"));
    const QString png = dir.filePath(QStringLiteral("out.png"));
    // A red start at the origin facing right in the default 60000-unit world.
    test::writeBytes(in, "function DetermChunk()\n  addPoint(\"StartPos0\", {0, 0, 0}, {0, 90, 0})\nend\n");
    ASSERT_EQ(runTool({"render", in, png, "--size", "600x563"}).exitCode, 0);
    const QImage image(png);
    ASSERT_EQ(image.size(), QSize(600, 563));
    // The heading line runs 1200 units (12 pixels) to the right of the centre of the top view.
    const int topHeight = 563 - 13 - (563 - 13) * 1635 / (3855 + 1635);
    EXPECT_EQ(image.pixelColor(306, topHeight / 2), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(5, 5), QColor(0, 0, 0));
    EXPECT_EQ(runTool({"render", in, png, "--size", "big"}).exitCode, 2);
}

TEST(LevelTool, GameFolderNamesTheModels)
{
    QTemporaryDir dir;
    test::makeEntry(dir.path(), QStringLiteral("game/data/Pebble/rock_a"), true);
    const QString in = dir.filePath(QStringLiteral("in.level"));
    const QString out = dir.filePath(QStringLiteral("out.level"));
    test::writeBytes(in, twoPlayerLevel("  addPebble(\"rock_a\", {1, 1, 1}, 0, 0, 0)\n"));
    ASSERT_EQ(runTool({"--game-dir", dir.filePath(QStringLiteral("game")), "rewrite", in, out}).exitCode, 0);
    EXPECT_TRUE(test::readBytes(out).contains("addPebble(\"rock_a\""));
}

// Every real level loads without a crash; every rewrite that is not refused runs in Lua and
// rewrites to the same bytes.
TEST(LevelTool, RealLevelsLoadAndRewriteStably)
{
    const QStringList files = test::corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "the folder of real levels is not beside this checkout";
    const QString lua = QStandardPaths::findExecutable(QStringLiteral("lua5.4"));
    QTemporaryDir dir;
    const QString stubs = dir.filePath(QStringLiteral("stubs.lua"));
    test::writeBytes(stubs, "local function stub(...) end\n"
                            "for _, n in ipairs({'addPoint','addAsteroid','addCloud','addDustCloud','addSquadron',"
                            "'addNebula','addSalvage','addPebble','setWorldBoundsInner','fogSetActive',"
                            "'setGlareIntensity','setLevelShadowColour','loadBackground',"
                            "'setSensorsManagerCameraDistances','setDefaultMusic'}) do _G[n] = stub end\n"
                            "dofile(arg[1])\nDetermChunk()\nNonDetermChunk()\n"
                            "assert(type(levelDesc) == 'string' and type(maxPlayers) == 'number')\n");
    int rewritten = 0;
    for (const QString& file : files) {
        const QString name = QFileInfo(file).fileName();
        const ToolRun stats = runTool({"stats", file});
        EXPECT_EQ(stats.exitCode, 0) << name.toStdString();
        if (name.contains(QLatin1String("bytecode"))) {
            EXPECT_TRUE(stats.out.contains(QLatin1String("PlayerStart 0\nAsteroid 0\n")));
            EXPECT_TRUE(stats.err.contains(QLatin1String("bytecode")));
        }
        if (name.startsWith(QLatin1String("Stuart1998__Homeworld-Restored__8p"))) {
            EXPECT_TRUE(stats.err.contains(QLatin1String("StartPos6")) && stats.err.contains(QLatin1String("maxPlayers")))
                << stats.err.toStdString();
        }
        const QString out = dir.filePath(name);
        const ToolRun rewrite = runTool({"rewrite", file, out});
        ASSERT_TRUE(rewrite.exitCode == 0 || rewrite.exitCode == 1) << name.toStdString();
        if (rewrite.exitCode == 1)
            continue;
        ++rewritten;
        const QString again = dir.filePath(QStringLiteral("again-") + name);
        ASSERT_EQ(runTool({"rewrite", out, again}).exitCode, 0) << name.toStdString();
        EXPECT_EQ(test::readBytes(again), test::readBytes(out)) << name.toStdString();
        if (!lua.isEmpty()) {
            QProcess p;
            p.start(lua, {stubs, out});
            p.waitForFinished(30000);
            EXPECT_EQ(p.exitCode(), 0) << name.toStdString() << p.readAllStandardError().constData();
        }
    }
    EXPECT_GT(rewritten, 10);
}

} // namespace
