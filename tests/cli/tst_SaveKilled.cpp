// A save killed half-way never leaves a half-written level in place of the earlier one.

#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace starloom::test;

namespace {

// A level with the most items the editor holds: 32767 of each kind, some 20 MB of script.
QByteArray biggestLevel()
{
    QByteArray level =
        "levelDesc = \"Big\"\nmaxPlayers = 2\nfunction DetermChunk()\n"
        "  addPoint(\"StartPos0\", {1, 2, 3}, {0, 0, 0})\n  addPoint(\"StartPos1\", {4, 5, 6}, {0, 45, 0})\n";
    for (const char* line : {"  addAsteroid(\"Asteroid_2\", {%1, 10, -%1}, 100, 0, 0, 0, 0)\n",
             "  addCloud(\"polySurface1\", \"cloud_0\", {%1, 0, 5}, {0.5, 0.5, 1, 1}, 0.0, 300)\n",
             "  addDustCloud(\"polySurface1\", \"dustcloud_0\", {%1, 0, 5}, {0.5, 0.5, 1, 1}, 0.0, 300)\n",
             "  addSquadron(\"meg_tanis\", \"meg_tanis\", {%1, 0, 7}, -1, {0, 0, 0}, 0, 0)\n",
             "  addNebula(\"nebula_0\", \"nebula_0\", {%1, 0, 5}, {0.5, 0.5, 1, 1}, 0.0, 300)\n",
             "  addSalvage(\"slv_chunk_sml02\", {%1, 1, 2}, 40, 0, 0, 0, 0)\n",
             "  addSquadron(\"hgn_interceptor\", \"hgn_interceptor\", {%1, 0, 9}, 1, {0, 0, 0}, 0, 0)\n",
             "  addPebble(\"pebble_1\", {%1, 2, 3}, 0, 0, 0)\n"})
        for (int i = 0; i < 32767; ++i)
            level += QString::fromLatin1(line).arg(i).toLatin1();
    return level + "end\n";
}

// Kill -9 at several moments of `starloom-level rewrite IN OUT`: OUT is then either the earlier
// file or the complete new one, never anything in between.
TEST(SaveKilled, TheEarlierFileSurvivesAKilledRewrite)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("big.level")), out = dir.filePath(QStringLiteral("out.level")),
                  complete = dir.filePath(QStringLiteral("complete.level"));
    writeBytes(in, biggestLevel());
    QProcess full;
    full.start(QStringLiteral(STARLOOM_CLI_PATH), {QStringLiteral("rewrite"), in, complete});
    ASSERT_TRUE(full.waitForFinished(300000));
    ASSERT_EQ(full.exitCode(), 0) << full.readAllStandardError().constData();
    const QByteArray newBytes = readBytes(complete);
    ASSERT_GT(newBytes.size(), 10 << 20);

    const QByteArray earlier = "-- the level as it was saved before\r\n";
    int killed = 0;
    for (const int delayMs : {0, 50, 150, 300, 500, 800, 1200, 1800}) {
        writeBytes(out, earlier);
        QProcess p;
        p.start(QStringLiteral(STARLOOM_CLI_PATH), {QStringLiteral("rewrite"), in, out});
        ASSERT_TRUE(p.waitForStarted());
        QThread::msleep(static_cast<unsigned long>(delayMs));
        p.kill();
        ASSERT_TRUE(p.waitForFinished(60000));
        killed += p.exitStatus() == QProcess::CrashExit;
        const QByteArray now = readBytes(out);
        EXPECT_TRUE(now == earlier || now == newBytes)
            << "after " << delayMs << " ms OUT holds " << now.size() << " bytes";
    }
    EXPECT_GT(killed, 0);
    // What a killed save may leave is its own temporary file beside OUT, never OUT itself.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
        EXPECT_TRUE(name == "big.level" || name == "complete.level" || name.startsWith("out.level"))
            << name.toStdString();
}

} // namespace
