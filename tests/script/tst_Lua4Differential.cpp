// Random Lua 4.0 level programs run by Lua 4.0 itself and by the sandbox: both must record the same
// globals and calls. STARLOOM_RANDOM_PROGRAMS and STARLOOM_RANDOM_SEED set how many programs are
// run and the seed of the first (a long run before a release runs 100,000).

#include "Lua4Oracle.h"
#include "Lua4ProgramGenerator.h"

#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;

namespace {

std::uint64_t setting(const char* name, std::uint64_t fallback)
{
    bool ok = false;
    const std::uint64_t value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

TEST(Lua4Differential, RandomProgramsRecordWhatLua4Records)
{
    if (!oracleMissing().isEmpty())
        GTEST_SKIP() << oracleMissing().toStdString();
    const std::uint64_t count = setting("STARLOOM_RANDOM_PROGRAMS", 2000);
    const std::uint64_t first = setting("STARLOOM_RANDOM_SEED", 1);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("program.level"));
    std::uint64_t differing = 0;
    std::uint64_t stopped = 0;
    std::string report;
    for (std::uint64_t seed = first; seed < first + count; ++seed) {
        const QByteArray text = QByteArray::fromStdString(randomLua4Program(seed));
        writeBytes(path, text);
        const LevelRecord lua4 = oracleRecord(path);
        const ScriptRun run = runWithOracleRandom(text, QStringLiteral("program.level"));
        if (!lua4.stoppedIn.isEmpty() && ++stopped <= 3)
            report += "seed " + std::to_string(seed) + " stopped Lua 4.0 (" + lua4.error.toStdString() + "):\n"
                + text.toStdString() + "\n";
        const QString difference = recordDifference(lua4, sandboxRecord(run), run);
        if (difference.isEmpty())
            continue;
        if (++differing <= 3)
            report +=
                "seed " + std::to_string(seed) + ":\n" + text.toStdString() + "\n" + difference.toStdString() + "\n";
    }
    // The programs are made to run to their end.
    EXPECT_EQ(stopped, 0u) << report;
    EXPECT_EQ(differing, 0u) << report;
}

TEST(Lua4Differential, TheSameSeedGivesTheSameProgram)
{
    EXPECT_EQ(randomLua4Program(7), randomLua4Program(7));
    EXPECT_NE(randomLua4Program(7), randomLua4Program(8));
}

} // namespace
