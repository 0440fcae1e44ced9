// Files no level editor should have to read: huge ones and unreadable ones. Each has its defined
// outcome; none may crash or leave a half-made item.

#include "LevelIO.h"
#include "Privileges.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace starloom;
using namespace starloom::test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underSanitizer = true;
#else
constexpr bool underSanitizer = false;
#endif
#else
constexpr bool underSanitizer = false;
#endif

// The peak resident memory of this process so far, in kilobytes.
long peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

std::optional<ReadResult> readFile(LevelIO& l, const QString& path, QString* error)
{
    ModelLists models(l.catalogue);
    return loadLevel(path, l, models, error);
}

TEST(HostileInput, AHugeFileIsStreamedWithFlatMemory)
{
    // 200 MB normally; the sanitizers keep freed memory aside, so there only the reading is checked.
    const int megabytes = underSanitizer ? 24 : 200;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.level"));
    {
        QByteArray block = "  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\r\n";
        const QByteArray filler = "-- " + QByteArray(1000, 'x') + "\r\n  -- " + QByteArray(500, 'y') + "\r\n";
        while (block.size() + filler.size() <= (1 << 20))
            block += filler;
        block += QByteArray((1 << 20) - block.size() - 2, ' ') + "\r\n";
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("function DetermChunk()\r\n");
        for (int i = 0; i < megabytes; ++i)
            ASSERT_EQ(out.write(block), block.size());
        out.write("  addPebble(\"pebble_0\", {7, 8, 9}, 0, 0, 0)\r\nend\r\n");
    }
    ASSERT_GT(QFileInfo(path).size(), qint64(megabytes) << 20);
    LevelIO l;
    QString error;
    const long before = peakMemoryKb();
    const auto result = readFile(l, path, &error);
    const long grown = peakMemoryKb() - before;
    ASSERT_TRUE(result) << error.toStdString();
    EXPECT_EQ(l.document.itemCount(ItemKind::Asteroid), megabytes) << "every line read, the last one too";
    EXPECT_EQ(l.document.itemCount(ItemKind::Pebble), 1) << "every line read, the last one too";
    EXPECT_TRUE(result->problems.empty()) << "every line read, the last one too";
    if (!underSanitizer && before > 0) {
        EXPECT_LT(grown, 32 * 1024) << "the peak memory grew by " << grown << " kB";
    }
}

// Names built to make a search of the model lists slow (an earlier reader took seconds on these
// 3.2 MB): read in one pass, as names or as quoted texts. bench/ measures the time.
TEST(HostileInput, LongCraftedNamesAreReadInOnePass)
{
    const QByteArray name = QByteArray(10900, 'a') + ' ' + QByteArray(21800, 'a');
    QByteArray bare = "function NonDetermChunk()\n";
    QByteArray quoted = bare;
    for (int i = 0; i < 100; ++i) {
        bare += "addPebble(" + name + "\n";
        quoted += "addPebble(\"" + name + "\", {1, 2, 3}, 0, 0, 0)\n";
    }
    LevelIO l;
    l.read(bare + "end\n");
    EXPECT_EQ(l.document.itemCount(ItemKind::Pebble), 0);
    EXPECT_TRUE(l.hasProblem("computed by the script")) << l.problems();
    LevelIO q;
    q.read(quoted + "end\n");
    ASSERT_EQ(q.document.itemCount(ItemKind::Pebble), 100);
    EXPECT_EQ(q.document.props(ItemKind::Pebble)[99].customName.size(), name.size());
}

// A mod's pebble list of 30,000 names.
class LongPebbleList final : public ModelSource {
public:
    QString description() const override { return QStringLiteral("long list"); }
    std::optional<QStringList> entries(const QString& folder) const override
    {
        if (folder != Catalogue::dataFolder(ItemKind::Pebble))
            return std::nullopt;
        QStringList names;
        for (int i = 0; i < 30000; ++i)
            names << QStringLiteral("Pebble_Mod_%1").arg(i);
        return names;
    }
};

// Each name that equals no entry is searched for within every entry: many different such names
// against a long list would take minutes. The searches stop at a budget and the rest is said.
TEST(HostileInput, ManyDifferentUnknownNamesAgainstALongListAreReadInStepWithTheFile)
{
    QByteArray file = "function NonDetermChunk()\n";
    for (int i = 0; i < 3000; ++i)
        file += "addPebble(\"unknown_" + QByteArray::number(i) + "\", {1, 2, 3}, 0, 0, 0)\n";
    // Found however many searches were made: by equality (any letter case), and within an entry.
    file += "addPebble(\"PEBBLE_MOD_29999\", {1, 2, 3}, 0, 0, 0)\nend\n";
    LevelIO l;
    l.catalogue = Catalogue(QStringLiteral("game"), {std::make_shared<LongPebbleList>()});
    l.read(file);
    ASSERT_EQ(l.document.itemCount(ItemKind::Pebble), 3001);
    const auto& pebbles = l.document.props(ItemKind::Pebble);
    EXPECT_EQ(pebbles[3000].modelIndex, 29999);
    EXPECT_EQ(pebbles[2999].customName, QStringLiteral("unknown_2999"));
    const qint64 searched = ModelLists::defaultSearchBudget / 30000;
    EXPECT_TRUE(l.hasProblem(QString::number(3000 - searched).toLatin1().constData())) << l.problems();
    EXPECT_TRUE(l.hasProblem("were not searched for")) << l.problems();

    // Within the budget, the lookup answers as the search of the whole list does.
    const Catalogue catalogue(QStringLiteral("game"), {std::make_shared<LongPebbleList>()});
    ModelLists models(catalogue);
    const QStringList& list = models.list(ItemKind::Pebble);
    for (const QString name : {"pebble_mod_7", "Pebble_Mod_12", "mod_2999", "ebble_Mod_1", "PEBBLE", "none", ""})
        EXPECT_EQ(models.lookup(ItemKind::Pebble, name), findModelForRead(list, name)) << name.toStdString();
    EXPECT_EQ(models.namesNotSearched(), 0);
}

TEST(HostileInput, AFolderIsReportedNotRead)
{
    QTemporaryDir dir;
    LevelIO l;
    QString error;
    EXPECT_FALSE(readFile(l, dir.path(), &error)) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("folder"))) << error.toStdString();
}

TEST(HostileInput, AMissingFileIsReportedByName)
{
    QTemporaryDir dir;
    LevelIO l;
    QString error;
    EXPECT_FALSE(readFile(l, dir.filePath(QStringLiteral("none.level")), &error)) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("none.level"))) << error.toStdString();
}

TEST(HostileInput, AnUnreadableFileIsReportedNotRead)
{
    QTemporaryDir dir;
    LevelIO l;
    QString error;
    const QString path = dir.filePath(QStringLiteral("secret.level"));
    writeBytes(path, body("addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    const PermissionsEnforced enforced; // as root, the bits alone would not stop the read
    if (geteuid() == 0 && !enforced.active())
        GTEST_SKIP() << "running as root without the right to drop capabilities";
    EXPECT_FALSE(readFile(l, path, &error)) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("secret.level"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("ermission"))) << error.toStdString();
    EXPECT_EQ(l.document.itemCount(ItemKind::Pebble), 0) << error.toStdString();
}

} // namespace
