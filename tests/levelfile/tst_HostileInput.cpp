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

std::optional<ReadResult> readFile(Level& l, const QString& path, QString* error)
{
    ModelLists models(l.catalogue);
    return readLevelFile(path, l.doc, l.settings, models, nullptr, error);
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
    Level l;
    QString error;
    const long before = peakMemoryKb();
    const auto result = readFile(l, path, &error);
    const long grown = peakMemoryKb() - before;
    ASSERT_TRUE(result) << error.toStdString();
    EXPECT_TRUE(l.doc.itemCount(ItemKind::Asteroid) == megabytes && l.doc.itemCount(ItemKind::Pebble) == 1 && result->problems.empty())
        << "every line read, the last one too";
    if (!underSanitizer && before > 0)
        EXPECT_LT(grown, 32 * 1024) << "the peak memory grew by " << grown << " kB";
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
    Level l;
    l.read(bare + "end\n");
    EXPECT_EQ(l.doc.itemCount(ItemKind::Pebble), 0);
    EXPECT_TRUE(l.hasProblem("computed by the script")) << l.problems();
    Level q;
    q.read(quoted + "end\n");
    ASSERT_EQ(q.doc.itemCount(ItemKind::Pebble), 100);
    EXPECT_EQ(q.doc.props(ItemKind::Pebble)[99].customName.size(), name.size());
}

TEST(HostileInput, AFolderAMissingFileAndAnUnreadableFileAreReportedNotRead)
{
    QTemporaryDir dir;
    Level l;
    QString error;
    EXPECT_TRUE(!readFile(l, dir.path(), &error) && error.contains(QLatin1String("folder"))) << error.toStdString();
    EXPECT_TRUE(!readFile(l, dir.filePath(QStringLiteral("none.level")), &error) && error.contains(QLatin1String("none.level"))) << error.toStdString();

    const QString path = dir.filePath(QStringLiteral("secret.level"));
    writeBytes(path, body("addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    const PermissionsEnforced enforced; // as root, the bits alone would not stop the read
    if (geteuid() == 0 && !enforced.active())
        GTEST_SKIP() << "running as root without the right to drop capabilities";
    EXPECT_TRUE(!readFile(l, path, &error) && error.contains(QLatin1String("secret.level")) && error.contains(QLatin1String("ermission")) &&
                l.doc.itemCount(ItemKind::Pebble) == 0) << error.toStdString();
}

} // namespace
