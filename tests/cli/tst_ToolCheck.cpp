// starloom-level check: the findings of the checks, one a line, and the exit code.

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CheckRun {
    int exitCode = -1;
    QString out;
};

CheckRun runCheck(const QStringList& args, const QStringList& options = {})
{
    QProcess p;
    p.start(QStringLiteral(STARLOOM_CLI_PATH), options + QStringList{QStringLiteral("check")} + args);
    if (!p.waitForFinished(60000))
        p.kill(), p.waitForFinished();
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput())};
}

// A two-player level whose DetermChunk holds `body`, written into `dir`; its path.
QString twoPlayerLevel(const QTemporaryDir& dir, const char* name, const QByteArray& body)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    starloom::test::writeBytes(path, "maxPlayers = 2\nfunction DetermChunk()\n" + body + "end\n");
    return path;
}

QString tooClose(int units)
{
    return QStringLiteral("warning: starts-too-close: The start points of Player 1 and Player 2 are %1 units apart "
                          "(less than 8000) [0o 1o]\n")
        .arg(units);
}

TEST(ToolCheck, AWarningIsPrintedOnItsLineWithoutFailing)
{
    QTemporaryDir dir;
    const QString close = twoPlayerLevel(dir, "close.level",
        "  addPoint(\"StartPos0\", {0, 0, -3000}, {0, 0, 0})\n  addPoint(\"StartPos1\", {0, 0, 3000}, {0, 0, 0})\n");
    const CheckRun warned = runCheck({close});
    EXPECT_EQ(warned.exitCode, 0);
    EXPECT_EQ(warned.out, tooClose(6000));
}

TEST(ToolCheck, TheMinimumStartDistanceIsSettable)
{
    QTemporaryDir dir;
    const QString close = twoPlayerLevel(dir, "close.level",
        "  addPoint(\"StartPos0\", {0, 0, -3000}, {0, 0, 0})\n  addPoint(\"StartPos1\", {0, 0, 3000}, {0, 0, 0})\n");
    const CheckRun allowed = runCheck({close, QStringLiteral("--min-start-distance"), QStringLiteral("5000")});
    EXPECT_EQ(allowed.exitCode, 0);
    EXPECT_EQ(allowed.out, QString());
    EXPECT_EQ(runCheck({close, QStringLiteral("--min-start-distance"), QStringLiteral("far")}).exitCode, 2);
}

TEST(ToolCheck, AnErrorFails)
{
    QTemporaryDir dir;
    const QString missing =
        twoPlayerLevel(dir, "missing.level", "  addPoint(\"StartPos0\", {0, 0, 9000}, {0, 0, 0})\n");
    const CheckRun failed = runCheck({missing});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, QStringLiteral("error: missing-start: Player 2 has no start point\n"));
}

TEST(ToolCheck, TheFairShareIsSettable)
{
    QTemporaryDir dir;
    // Player 1 has 100 % of the resources near it, player 2 80 %: unfair by the default share,
    // fair when 25 % may differ.
    const QString uneven = twoPlayerLevel(dir, "uneven.level",
        "  addPoint(\"StartPos0\", {-20000, 0, 0}, {0, 0, 0})\n  addPoint(\"StartPos1\", {20000, 0, 0}, {0, 0, 0})\n"
        "  addAsteroid(\"Asteroid_3\", {-20000, 5000, 0}, 100, 0, 0, 0, 0)\n"
        "  addAsteroid(\"Asteroid_3\", {20000, 5000, 0}, 80, 0, 0, 0, 0)\n");
    EXPECT_TRUE(runCheck({uneven}).out.contains(QStringLiteral("unfair-resources")));
    EXPECT_EQ(runCheck({uneven, QStringLiteral("--fair-share"), QStringLiteral("25")}).out, QString());
    EXPECT_EQ(runCheck({uneven, QStringLiteral("--fair-share")}).exitCode, 2);
}

TEST(ToolCheck, StartPointsALoopPlacesAreSeenOnlyWhenTheScriptRuns)
{
    QTemporaryDir dir;
    const QString looped = twoPlayerLevel(dir, "looped.level",
        "  for i = 0, 1 do\n    addPoint(\"StartPos\" .. i, {0, 0, 4000 * i - 2000}, {0, 0, 0})\n  end\n");
    const CheckRun literal = runCheck({looped});
    EXPECT_EQ(literal.exitCode, 1);
    EXPECT_EQ(literal.out, QStringLiteral("error: missing-start: 2 players have no start point: Player 1, Player 2\n"));
    const CheckRun run = runCheck({looped}, {QStringLiteral("--run-script")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, tooClose(4000));
}

// Three asteroids at one place, of models the catalogue does not know.
QString rocksLevel(const QTemporaryDir& dir)
{
    QByteArray body =
        "  addPoint(\"StartPos0\", {0, 0, -20000}, {0, 0, 0})\n  addPoint(\"StartPos1\", {0, 0, 20000}, {0, "
        "0, 0})\n";
    for (const char* rock : {"Rock_A", "Rock_B", "Rock_A"})
        body += "  addAsteroid(\"" + QByteArray(rock) + "\", {0, 0, 0}, 0, 0, 0, 0, 0)\n";
    return twoPlayerLevel(dir, "rocks.level", body);
}

TEST(ToolCheck, FindingsOfOneCodeAreOneLine)
{
    QTemporaryDir dir;
    const QString path = rocksLevel(dir);
    const CheckRun grouped = runCheck({path});
    EXPECT_EQ(grouped.exitCode, 0);
    EXPECT_EQ(grouped.out,
        QStringLiteral(
            "warning: same-place: 2 pairs of items of one kind are at the same place: Asteroid #1 and Asteroid "
            "#2, Asteroid #1 and Asteroid #3\n"
            "warning: unknown-model: 3 items use models the catalogue does not know: Rock_A, Rock_B\n"));
}

TEST(ToolCheck, AllListsEachFinding)
{
    QTemporaryDir dir;
    const QString path = rocksLevel(dir);
    const CheckRun all = runCheck({path, QStringLiteral("--all")});
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(all.out.count(QStringLiteral("warning: unknown-model: Asteroid #")), 3) << all.out.toStdString();
    EXPECT_EQ(all.out.count(u'\n'), 5);
}

// The output for every real map is kept in data/check-corpus.txt ("== <file>" and its lines), so
// that a change of a check's output shows up as a change of that file.
TEST(ToolCheck, TheRealMapsGiveTheKeptOutput)
{
    const QStringList files = starloom::test::corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no corpus beside the checkout";
    QString all;
    for (const QString& file : files) {
        const CheckRun run = runCheck({file});
        all += QStringLiteral("== %1 (exit %2)\n").arg(QFileInfo(file).fileName()).arg(run.exitCode) + run.out;
    }
    const QString kept = QString::fromUtf8(starloom::test::readBytes(
        QStringLiteral(STARLOOM_SOURCE_DIR) + QStringLiteral("/tests/cli/data/check-corpus.txt")));
    EXPECT_EQ(all, kept);
}

} // namespace
