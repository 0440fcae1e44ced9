// Runs the starloom-level executable as a user would, and checks the real levels of the game.

#include "BigArchiveWriter.h"
#include "Privileges.h"
#include "TestSupport.h"
#include "Version.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace starloom;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

// `bytes`: the arguments go through the shell's printf %b, so that "\0351" becomes the byte 0xE9.
ToolRun runTool(const QStringList& args, bool bytes = false, int waitMs = 60000)
{
    QProcess p;
    if (bytes)
        p.start(QStringLiteral("/bin/sh"),
            QStringList{QStringLiteral("-c"),
                QStringLiteral("for a do set -- \"$@\" \"$(printf %b \"$a\")\"; shift; done; exec \"$0\" \"$@\""),
                QStringLiteral(STARLOOM_CLI_PATH)}
                + args);
    else
        p.start(QStringLiteral(STARLOOM_CLI_PATH), args);
    if (!p.waitForFinished(waitMs)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
        QString::fromLocal8Bit(p.readAllStandardError())};
}

class LevelTool : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // mod/scripts/Belt.lua: belt(n) adds n asteroids.
    const QByteArray belt =
        "function belt(n) for i = 1, n do addAsteroid(\"Asteroid_1\", {i * 100, 0, 0}, 100, 0, 0, 0, 0) end end\n";
    // Writes in.level: two player starts, the items and the loops below, and the include of belt().
    QString beltLevel() const
    {
        QDir(dir.path()).mkpath(QStringLiteral("mod/scripts"));
        test::writeBytes(path("mod/scripts/Belt.lua"), belt);
        const QString level =
            twoPlayerLevel("  belt(7)\n  for i = 1, 3 do addPebble(\"pebble_0\", {i, 0, 0}, 0, 0, 0) end\n");
        test::writeBytes(level, "dofilepath(\"data:scripts/belt.lua\")\n" + test::readBytes(level));
        return level;
    }
    // Writes in.level: two player starts and the items.
    QString twoPlayerLevel(const QByteArray& items) const
    {
        test::writeBytes(path("in.level"),
            "levelDesc = \"T\"\nmaxPlayers = 2\nfunction DetermChunk()\n  addPoint(\"StartPos0\", {1, 2, 3}, {0, 0, "
            "0})\n"
            "  addPoint(\"StartPos1\", {4, 5, 6}, {0, 45, 0})\n"
                + items + "end\n");
        return path("in.level");
    }
};

TEST_F(LevelTool, VersionPrintsTheProgramsTitle)
{
    EXPECT_EQ(runTool({"--version"}).out.trimmed(),
        QStringLiteral("Star Loom Deluxe Edition v") + QLatin1String(versionText));
}

TEST_F(LevelTool, HelpPrintsTheCommands)
{
    const ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("rewrite IN OUT")));
}

TEST_F(LevelTool, UsageErrorsExitWithTwo)
{
    for (const QStringList& args :
        {QStringList{}, QStringList{"frobnicate"}, QStringList{"stats", path("missing.level")}})
        EXPECT_EQ(runTool(args).exitCode, 2) << args.join(u' ').toStdString();
}

TEST_F(LevelTool, StatsCountsLiveItemsOfEveryKind)
{
    const ToolRun r = runTool({"stats",
        twoPlayerLevel("  addAsteroid(\"Asteroid_1\", {0, 0, 0}, 100, 0, 0, 0, 0)\n"
                       "  addAsteroid(\"Asteroid_1\", {0, 0, 0}, 100, 0, 0, 0, 0)\n"
                       "  addSquadron(\"meg_tanis\", \"meg_tanis\", {0, 0, 0}, -1, {0, 0, 0}, 0, 0)\n"
                       "  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\n")});
    EXPECT_EQ(r.out + QString::number(r.exitCode),
        QLatin1String("PlayerStart 2\nAsteroid 2\nCloud 0\nDustCloud 0\nMegalith 1\nNebula 0\n"
                      "Pebble 0\nSalvage 0\nShip 0\n0"));
    EXPECT_TRUE(r.err.contains(QLatin1String(":9: "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("StartPos9"))) << r.err.toStdString();
}

// --run-script opens a level by running its script: loops and helpers build their items, the
// included files come from --data-dir, a loose folder or a .big archive (compressed, its path in
// another letter case).
TEST_F(LevelTool, RunScriptBuildsWhatTheScriptMakesWithItsIncludes)
{
    const QString level = beltLevel();
    test::writeBigArchiveFile(path("mod.big"), {{"scripts\\Belt.lua", belt, true}});
    const ToolRun byLines = runTool({"stats", level});
    EXPECT_TRUE(byLines.out.contains(QLatin1String("Asteroid 0\n"))) << byLines.out.toStdString();
    for (const QString& data : {path("mod"), path("mod.big")}) {
        const ToolRun byScript = runTool({"--data-dir", data, "--run-script", "stats", level});
        EXPECT_EQ(byScript.exitCode, 0) << data.toStdString();
        EXPECT_TRUE(byScript.out.contains(QLatin1String("Asteroid 7\n")))
            << data.toStdString() << byScript.out.toStdString() << byScript.err.toStdString();
        EXPECT_TRUE(byScript.out.contains(QLatin1String("Pebble 3\n"))) << data.toStdString();
    }
    const ToolRun noIncludes = runTool({"--run-script", "stats", level});
    EXPECT_TRUE(noIncludes.err.contains(QLatin1String("data:scripts/belt.lua"))) << noIncludes.err.toStdString();
    const QString out = dir.filePath(QStringLiteral("plain.level"));
    ASSERT_EQ(runTool({"--data-dir", path("mod"), "--run-script", "rewrite", level, out}).exitCode, 0);
    EXPECT_EQ(test::readBytes(out).count("addAsteroid("), 7) << "saved as plain calls";
}

// --run-script also opens a level compiled by Lua 4.0 (the game's own 2P_Jadeth, as its archive
// holds it), and rewrite saves it as plain calls.
TEST_F(LevelTool, RunScriptOpensACompiledLevel)
{
    const QString dirOfLevels = test::corpusDir();
    if (dirOfLevels.isEmpty())
        GTEST_SKIP() << "the folder of real levels is not beside this checkout";
    const QString level = dirOfLevels + QStringLiteral("/frozensnowy__Simplex__2p_jadeth_bytecode.level");
    const ToolRun stats = runTool({"--run-script", "stats", level});
    EXPECT_EQ(stats.exitCode, 0) << stats.err.toStdString();
    EXPECT_TRUE(stats.out.startsWith(QLatin1String("PlayerStart 2\nAsteroid 27\n"))) << stats.out.toStdString();
    EXPECT_TRUE(stats.out.contains(QLatin1String("Pebble 299\n"))) << stats.out.toStdString();
    const QString out = dir.filePath(QStringLiteral("plain.level"));
    ASSERT_EQ(runTool({"--run-script", "rewrite", level, out}).exitCode, 0);
    EXPECT_EQ(test::readBytes(out).count("addPebble("), 299);
}

// render --run-script draws the items the script builds: the image of the plain calls it saves.
TEST_F(LevelTool, RenderRunScriptDrawsWhatTheScriptBuilds)
{
    const QString level = beltLevel();
    ASSERT_EQ(runTool({"--data-dir", path("mod"), "--run-script", "rewrite", level, path("plain.level")}).exitCode, 0);
    for (const auto& [args, image] :
        {std::pair{QStringList{"--data-dir", path("mod"), "--run-script", level}, "script"},
            std::pair{QStringList{path("plain.level")}, "plain"}, std::pair{QStringList{level}, "lines"}})
        ASSERT_EQ(runTool(QStringList{"render"} + args + QStringList{path(image) + ".png"}).exitCode, 0) << image;
    const QImage script(path("script.png")), plain(path("plain.png")), lines(path("lines.png"));
    ASSERT_FALSE(script.isNull());
    EXPECT_EQ(script, plain);
    EXPECT_NE(script, lines) << "the line reader builds no asteroid";
}

TEST_F(LevelTool, RewriteIsReproducibleWithTheGameFoldersNames)
{
    const QString in =
        twoPlayerLevel("  addPebble(\"pebble_2\", {7, 8, 9}, 0, 0, 0)\n  addPebble(\"rock_a\", {1, 1, 1}, 0, 0, 0)\n");
    test::makeEntry(dir.path(), QStringLiteral("game/data/Pebble/rock_a"), true);
    ASSERT_EQ(runTool({"--game-dir", path("game"), "rewrite", in, path("out.level")}).exitCode, 0);
    const QByteArray written = test::readBytes(path("out.level"));
    EXPECT_TRUE(written.contains("loadBackground(\"m01\")"));
    EXPECT_TRUE(written.contains("addPebble(\"pebble_2\", {7, 8, 9}, 0, 0, 0) \r\n"));
    EXPECT_TRUE(written.contains("addPebble(\"rock_a\""));
    ASSERT_EQ(runTool({"--game-dir", path("game"), "rewrite", path("out.level"), path("again.level")}).exitCode, 0);
    EXPECT_EQ(test::readBytes(path("again.level")), written);
}

TEST_F(LevelTool, RewriteRefusesALevelWithoutAllStartPoints)
{
    const QString in = path("in.level");
    test::writeBytes(in, "maxPlayers = 3\n");
    const ToolRun r = runTool({"rewrite", in, path("refused.level")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("You haven't specified all the player starting positions!")));
    EXPECT_FALSE(QFileInfo::exists(path("refused.level")));
}

TEST_F(LevelTool, RefusesWhatItCannotDoSayingWhyWithoutTouchingAnotherFile)
{
    const QString in = twoPlayerLevel(""), locked = path("locked.level"), pipe = path("pipe.level");
    test::writeBytes(locked, "earlier");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    test::writeBytes(path("camera.level"),
        "function NonDetermChunk()\n  setSensorsManagerCameraDistances(-5, 100)\nend\n"
        "maxPlayers = 2\nfunction DetermChunk()\n  addPoint(\"StartPos0\", {1, 2, 3}, {0, 0, 0})\n"
        "  addPoint(\"StartPos1\", {4, 5, 6}, {0, 45, 0})\nend\n");
    test::writeBytes(path("beyond.level"),
        "maxPlayers = 2\nfunction DetermChunk()\n  addPoint(\"StartPos0\", {1, 2, 3}, {0, 0, 0})\n"
        "  addPoint(\"StartPos1\", {4, 5, 6}, {0, 0, 0})\n  addPoint(\"StartPos2\", {7, 8, 9}, {0, 0, 0})\n"
        "  addPoint(\"StartPos7\", {7, 8, 9}, {0, 0, 0})\nend\n");
    test::writeBytes(path("ninth.level"),
        "maxPlayers = 8\nfunction DetermChunk()\n  addPoint(\"StartPos0\", {1, 2, 3}, {0, 0, 0})\n"
        "  addPoint(\"StartPos8\", {4, 5, 6}, {0, 0, 0})\nend\n");
    const std::tuple<const char*, QStringList, bool, int, const char*> cases[] = {
        {"readOnlyOutput", {"rewrite", in, locked}, false, 2, "the file is read-only"},
        {"cameraTheGameCannotRead", {"rewrite", path("camera.level"), path("camera-out.level")}, false, 1,
            "CameraMin must be a number of 0 or more"},
        {"startsBeyondThePlayerCount", {"rewrite", path("beyond.level"), path("beyond-out.level")}, false, 1,
            "The start points of Player 3 and Player 8 lie beyond the level's 2 players"},
        {"startPointForNoSlot", {"rewrite", path("ninth.level"), path("ninth-out.level")}, false, 1,
            "1 of its items cannot be kept (named above); nothing is written"},
        {"pipeWithoutWriter", {"stats", pipe}, false, 2, "it is a pipe (FIFO), not a file"},
        {"nameNotValidUtf8", {"rewrite", in, dir.path() + QStringLiteral("/caf\\0351.level")}, true, 2,
            "caf\\xE9.level\" is not valid UTF-8"},
    };
    for (const auto& [name, args, bytes, code, reason] : cases) {
        const ToolRun r = runTool(args, bytes, 10000);
        EXPECT_EQ(r.exitCode, code) << name << " " << r.exitCode << " " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(reason))) << name << " " << r.exitCode << " " << r.err.toStdString();
    }
    EXPECT_EQ(test::readBytes(locked), "earlier");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).join(u' '),
        QStringLiteral("beyond.level camera.level in.level locked.level ninth.level pipe.level"))
        << "nothing else written";
}

TEST_F(LevelTool, RenderReplacesAnEarlierImageOnlyWhenTheNewOneIsComplete)
{
    test::writeBytes(
        path("in.level"), "function DetermChunk()\n  addPoint(\"StartPos0\", {0, 0, 0}, {0, 90, 0})\nend\n");
    const QString folder = path("images");
    ASSERT_TRUE(QDir().mkpath(folder));
    test::TinyFileSystem fs(folder, 64); // the tool, started from here, sees it too
    if (!fs.mounted())
        GTEST_SKIP() << "needs a tiny file system of its own: " << fs.error().toStdString();
    const QString out = folder + QStringLiteral("/map.png");
    test::writeBytes(out, "the image rendered before");
    fs.fill(QStringLiteral("filler"));
    const ToolRun r = runTool({"render", path("in.level"), out, "--size", "1600x1000"});
    EXPECT_EQ(r.exitCode, 2) << r.exitCode << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("No space left on device"))) << r.exitCode << r.err.toStdString();
    EXPECT_EQ(test::readBytes(out), "the image rendered before") << r.exitCode << r.err.toStdString();
}

TEST_F(LevelTool, RenderDrawsBothViewsIntoAPng)
{
    // A red start at the origin facing right in the default 60000-unit world.
    test::writeBytes(
        path("in.level"), "function DetermChunk()\n  addPoint(\"StartPos0\", {0, 0, 0}, {0, 90, 0})\nend\n");
    ASSERT_EQ(runTool({"render", path("in.level"), path("out.png"), "--size", "600x563"}).exitCode, 0);
    const QImage image(path("out.png"));
    ASSERT_EQ(image.size(), QSize(600, 563));
    // To scale, the world fills the top view's height (about 150 units a pixel) and is centred
    // across: the heading line runs 1200 units (8 pixels) to the right of the view's centre.
    const int topHeight = 563 - 13 - (563 - 13) * 1635 / (3855 + 1635);
    EXPECT_EQ(image.pixelColor(305, topHeight / 2), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(150, 5), QColor(0, 0, 0));
    EXPECT_NE(image.pixelColor(5, 5), QColor(0, 0, 0)) << "left of the world: the margin";
    EXPECT_EQ(runTool({"render", path("in.level"), path("out.png"), "--size", "big"}).exitCode, 2);
}

TEST_F(LevelTool, RenderDrawsTheLevelInPerspective)
{
    // A red start at the origin facing right. From 20000 units above, in 600 x 400 pixels, its
    // ring of 1000 units is 20 pixels round the centre and its heading runs 24 pixels right.
    test::writeBytes(
        path("in.level"), "function DetermChunk()\n  addPoint(\"StartPos0\", {0, 0, 0}, {0, 90, 0})\nend\n");
    const QColor red(255, 0, 0), black(0, 0, 0);
    ASSERT_EQ(
        runTool({"render", "--3d", path("in.level"), path("top.png"), "--size", "600x400", "--camera", "0,90,20000"})
            .exitCode,
        0);
    QImage image(path("top.png"));
    ASSERT_EQ(image.size(), QSize(600, 400));
    EXPECT_EQ(image.pixelColor(315, 200), red);
    EXPECT_EQ(image.pixelColor(320, 200), red);
    EXPECT_EQ(image.pixelColor(290, 210), black);
    // Without a camera every item is framed: the start point at the centre.
    ASSERT_EQ(runTool({"render", path("in.level"), path("framed.png"), "--3d"}).exitCode, 0);
    image = QImage(path("framed.png"));
    EXPECT_EQ(image.size(), QSize(900, 800));
    EXPECT_EQ(image.pixelColor(450, 400), red);
    for (const QStringList& args : {QStringList{"--camera", "0,90,20000"},
             QStringList{"--3d", "--camera", "0,95,20000"}, QStringList{"--3d", "--camera", "0,90"},
             QStringList{"--3d", "--camera", "0,90,1"}, QStringList{"--3d", "--camera"}})
        EXPECT_EQ(runTool(QStringList{"render", path("in.level"), path("bad.png")} + args).exitCode, 2)
            << args.join(u' ').toStdString();
    EXPECT_FALSE(QFile::exists(path("bad.png")));
}

// Every real level loads without a crash; every rewrite that is not refused runs in Lua and
// rewrites to the same bytes.
TEST_F(LevelTool, RealLevelsRewriteStably)
{
    const QStringList files = test::corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "the folder of real levels is not beside this checkout";
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
            EXPECT_TRUE(stats.out.startsWith(QLatin1String("PlayerStart 8\n"))) << stats.out.toStdString();
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
        QString error;
        if (test::haveLua()) {
            EXPECT_FALSE(test::gameView(test::readBytes(out), &error).isEmpty())
                << name.toStdString() << error.toStdString();
        }
    }
    EXPECT_GT(rewritten, 10);
}

} // namespace

namespace {

// A script that stops with an error built only part of the level: rewrite and render refuse it
// (exit 1, nothing written) unless --partial asks for that part; check reports the stop as an error;
// stats prints its counts and exits 1.
TEST_F(LevelTool, AScriptThatStopsIsNoSuccess)
{
    const QString in = twoPlayerLevel("  for i = 1, 20 do\n    addPebble(\"pebble_0\", {i, 0, 0}, 0, 0, 0)\n"
                                      "    if i == 10 then error(\"stopped half-way\") end\n  end\n");
    for (const auto& [command, out] : {std::pair{"rewrite", "out.level"}, std::pair{"render", "out.png"}}) {
        const ToolRun refused = runTool({"--run-script", command, in, path(out)});
        EXPECT_EQ(refused.exitCode, 1) << command;
        EXPECT_TRUE(refused.err.contains(
            QLatin1String("the script stopped at line 8; nothing is written (--partial writes what it built")))
            << refused.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path(out))) << command;
        const ToolRun partial = runTool({"--run-script", "--partial", command, in, path(out)});
        EXPECT_EQ(partial.exitCode, 0) << command << partial.err.toStdString();
        EXPECT_TRUE(partial.err.contains(QLatin1String("what it built until then is written (--partial)")));
        EXPECT_TRUE(QFileInfo::exists(path(out))) << command;
    }
    EXPECT_EQ(test::readBytes(path("out.level")).count("addPebble("), 10);
    const ToolRun check = runTool({"--run-script", "check", in});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_TRUE(check.out.startsWith(QLatin1String("error: script-stopped: line 8: DetermChunk stopped: ")))
        << check.out.toStdString();
    const ToolRun stats = runTool({"--run-script", "stats", in});
    EXPECT_EQ(stats.exitCode, 1);
    EXPECT_TRUE(stats.out.contains(QLatin1String("Pebble 10\n"))) << stats.out.toStdString();
    EXPECT_TRUE(stats.err.contains(QLatin1String("the counts are of what it built until then")));
    EXPECT_EQ(runTool({"--partial", "rewrite", in, path("plain.level")}).exitCode, 2) << "--partial needs a script run";
}

// Options out of their range, given twice or empty, and an output that would replace the input are
// refused with a message that says what is allowed.
TEST_F(LevelTool, OptionsOutOfRangeAreRefusedWithWhatIsAllowed)
{
    const QString in = twoPlayerLevel("");
    const QByteArray level = test::readBytes(in);
    const std::pair<QStringList, const char*> cases[] = {
        {{"render", in, in}, "is the level itself; name another file for the image"},
        {{"check", in, "--min-start-distance", "1e19"},
            "--min-start-distance takes a distance in units from 0 to 1000000000"},
        {{"check", in, "--fair-share", "5", "--fair-share", "6"}, "--fair-share is given twice"},
        {{"--game-dir", "", "stats", in}, "--game-dir needs a folder"},
        {{"render", in, path("a.png"), "--size", "20000x20000"}, "--size takes WIDTHxHEIGHT from 16x32 to 8192x8192"},
        {{"render", in, path("a.png"), "--3d", "--camera", "0,0,1e10"}, "a distance from 10 to 1000000000"},
    };
    for (const auto& [args, message] : cases) {
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(message))) << r.err.toStdString();
    }
    EXPECT_EQ(test::readBytes(in), level);
    EXPECT_FALSE(QFileInfo::exists(path("a.png")));
}

// Every option that takes a value takes it after a space or after "=".
TEST_F(LevelTool, AnOptionsValueFollowsASpaceOrAnEqualsSign)
{
    const QString in = twoPlayerLevel("");
    const ToolRun spaced = runTool({"check", in, "--fair-share", "20", "--min-start-distance", "1"});
    const ToolRun joined = runTool({"check", in, "--fair-share=20", "--min-start-distance=1"});
    EXPECT_EQ(joined.exitCode, spaced.exitCode) << joined.err.toStdString();
    EXPECT_EQ(joined.out, spaced.out);
    EXPECT_EQ(joined.err, spaced.err);
    ASSERT_EQ(runTool({"render", in, path("a.png"), "--size=64x64", "--3d", "--camera=-30,40,9000"}).exitCode, 0);
    EXPECT_EQ(QImage(path("a.png")).size(), QSize(64, 64));
}

// An option given twice (but --data-dir), one of another command, one the tool does not know, or a
// value given to an option that takes none are refused as such.
TEST_F(LevelTool, MisplacedOptionsAreRefusedAsSuch)
{
    const QString in = twoPlayerLevel("");
    const std::pair<QStringList, const char*> cases[] = {
        {{"check", in, "--fair-share=5", "--fair-share", "6"}, "--fair-share is given twice"},
        {{"--game-dir=a", "--game-dir", "b", "stats", in}, "--game-dir is given twice"},
        {{"--run-script", "stats", in, "--run-script"}, "--run-script is given twice"},
        {{"stats", in, "--all"}, "--all goes with check"},
        {{"check", in, "--size", "64x64"}, "--size goes with render"},
        {{"stats", in, "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"check", in, "--all=yes"}, "--all takes no value"},
        {{"check", in, "--fair-share"}, "--fair-share takes a percentage from 0 to 1000"},
    };
    for (const auto& [args, message] : cases) {
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(message))) << r.err.toStdString();
    }
    EXPECT_EQ(runTool({"--data-dir", path("a"), "--data-dir=" + path("b"), "stats", in}).exitCode, 0);
}

// A mod's archive that is a link to a device is named with the reason, not read.
TEST_F(LevelTool, AnArchiveLinkedToADeviceIsNamed)
{
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero.big")));
    const ToolRun r = runTool({"--data-dir", path("zero.big"), "models", "Ship"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(path("zero.big") + QLatin1String(" cannot be opened: it is a device, not a file")))
        << r.err.toStdString();
}

// The output named by a link that points nowhere (yet): the link stays and the file it names is
// made.
TEST_F(LevelTool, ADanglingLinkAsOutputStaysALink)
{
    ASSERT_TRUE(QFile::link(path("made.level"), path("link.level")));
    ASSERT_EQ(runTool({"rewrite", twoPlayerLevel(""), path("link.level")}).exitCode, 0);
    EXPECT_TRUE(QFileInfo(path("link.level")).isSymLink());
    EXPECT_TRUE(test::readBytes(path("made.level")).contains("addPoint("));
}

} // namespace
