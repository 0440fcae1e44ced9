// Files opened for reading and replaced by a save: what is refused, what is kept, what is told.

#include "LevelIO.h"
#include "Privileges.h"

#include <QDir>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace starloom;
using namespace starloom::test;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}
struct stat statOf(const QString& path)
{
    struct stat st {};
    ::stat(native(path).constData(), &st);
    return st;
}

QString readError(const QString& path)
{
    LevelIO l;
    QString error;
    ModelLists models(l.catalogue);
    return loadLevel(path, l, models, &error) ? QStringLiteral("read") : error;
}

TEST(SafeFile, ReadingRefusesWhatIsNotARegularFileOrTooLongWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.level")), huge = dir.filePath(QStringLiteral("huge.level"));
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0600), 0);
    QFile sparse(huge);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(maxReadableFileBytes + 1)); // no disk used
    const std::pair<QString, const char*> cases[] = {{dir.path(), "folder"}, {fifo, "pipe (FIFO)"},
        {QStringLiteral("/dev/null"), "device"}, {huge, "256.0 MB long; the editor reads files of at most 256 MB"},
        {dir.filePath(QStringLiteral("none.level")), "No such file or directory"}};
    for (const auto& [path, reason] : cases) {
        auto read = std::async(std::launch::async, readError, path);
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ::close(::open(native(path).constData(), O_WRONLY | O_NONBLOCK)); // a writer at last, so that the test ends
            ADD_FAILURE() << reason << ": the read waited";
        }
        const QString error = read.get();
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(reason))) << error.toStdString();
    }
    writeBytes(huge, "-- 10 by\r\n"); // the limit itself is still read
    for (const auto& [limit, refused] : {std::pair(qint64(10), false), std::pair(qint64(9), true)}) {
        QFile f;
        EXPECT_NE(openForReading(huge, f, limit).isEmpty(), refused) << limit;
        EXPECT_NE(f.isOpen(), refused) << limit;
    }
}

TEST(SafeFile, ANameThatIsNotValidUtf8IsRefusedWithoutTouchingAnotherFile)
{
    QTemporaryDir dir;
    const QByteArray raw = native(dir.path()) + "/caf\xe9.level";
    writeBytes(
        QFile::decodeName(native(dir.path()) + "/caf\xef\xbf\xbd-real.level"), "earlier"); // really named with U+FFFD
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(fd, "earlier", 7), 7);
    ::close(fd);
    const QString decoded = QFile::decodeName(raw); // what the arguments or a dropped URL hand over
    EXPECT_TRUE(readError(decoded).contains(QLatin1String("not valid UTF-8")));
    EXPECT_TRUE(saveFileAtomically(decoded, "new").contains(QLatin1String("not valid UTF-8")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(u','), QStringLiteral("caf\uFFFD-real.level"))
        << "no other file made";
    EXPECT_TRUE(saveFileAtomically(dir.filePath(QStringLiteral("caf\uFFFD-real.level")), "new").isEmpty());
    char kept[16];
    const int rfd = ::open(raw.constData(), O_RDONLY);
    EXPECT_EQ(QByteArray(kept, std::max(0, int(::read(rfd, kept, sizeof kept)))), "earlier");
    // A folder that cannot list it cannot remove it either.
    ::close(rfd);
    ::unlink(raw.constData());

    const std::pair<const char*, const char*> arguments[] = {{"plain.level", "plain.level|"},
        {"caf\xc3\xa9.level", "caf\u00e9.level|"}, {"caf\xe9.level", "|caf\\xE9.level"}};
    for (const auto& [argument, expected] : arguments) {
        char* argv[] = {const_cast<char*>("starloom"), const_cast<char*>(argument)};
        QStringList refused;
        const QString accepted = argumentsOf(2, argv, &refused).join(u',');
        EXPECT_EQ(accepted + u'|' + refused.join(u','), QString::fromUtf8(expected)) << argument;
    }
}

// mode, owned by another user and group (needs root), replaceReadOnly, part of the reason (nullptr: saved)
using Replaced = std::tuple<mode_t, bool, bool, const char*>;
class SafeSave : public ::testing::TestWithParam<Replaced> {};

TEST_P(SafeSave, ReplacesTheFileWithItsAttributesKept)
{
    const auto [mode, otherOwner, replaceReadOnly, error] = GetParam();
    if (otherOwner && ::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("level.level"));
    writeBytes(path, "earlier");
    ASSERT_TRUE((!otherOwner || ::chown(native(path).constData(), 1234, 2345) == 0));
    ASSERT_EQ(::chmod(native(path).constData(), mode), 0);
    const struct stat before = statOf(path);
    const QString reason = saveFileAtomically(path, "new", replaceReadOnly);
    const struct stat after = statOf(path);
    if (error) {
        EXPECT_THAT(reason.toStdString(), testing::HasSubstr(error));
        EXPECT_EQ(readBytes(path), "earlier");
    } else {
        EXPECT_EQ(reason, QString());
        EXPECT_EQ(readBytes(path), "new");
        EXPECT_NE(after.st_ino, before.st_ino);
    }
    EXPECT_EQ(after.st_mode & 07777, mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("level.level")})
        << "no temporary file left";
}

INSTANTIATE_TEST_SUITE_P(Files, SafeSave,
    ::testing::Values(Replaced{0640, false, false, nullptr}, Replaced{0444, false, false, "the file is read-only"},
        Replaced{0444, false, true, nullptr}, Replaced{0604, true, false, nullptr},
        Replaced{02775, true, false, nullptr}));

TEST(SafeFile, ASaveThroughALinkKeepsTheLink)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.level")),
                  link = dir.filePath(QStringLiteral("link.level"));
    writeBytes(target, "earlier");
    ASSERT_EQ(::symlink("real.level", native(link).constData()), 0);
    EXPECT_TRUE(saveFileAtomically(link, "through the link").isEmpty());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readBytes(target), "through the link");
}

TEST(SafeFile, NamesTooLongForATemporarySuffixAreSaved)
{
    QTemporaryDir dir;
    for (const int length : {249, 255}) { // a temporary name made by appending to these would not fit
        const QString name = dir.filePath(QString(length - 6, u'a') + QStringLiteral(".level"));
        writeBytes(name, "earlier");
        EXPECT_TRUE(saveFileAtomically(name, "new").isEmpty()) << length;
        EXPECT_EQ(readBytes(name), "new") << length;
    }
}

TEST(SafeFile, ANewFileTakesTheModeOfTheUmask)
{
    QTemporaryDir dir;
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(saveFileAtomically(dir.filePath(QStringLiteral("fresh.level")), "new").isEmpty());
    EXPECT_EQ((statOf(dir.filePath(QStringLiteral("fresh.level"))).st_mode & 07777), 0644);
    ::umask(mask);
}

TEST(SafeFile, AMissingFolderIsReportedWithTheSystemsReason)
{
    QTemporaryDir dir;
    EXPECT_TRUE(saveFileAtomically(dir.filePath(QStringLiteral("missing/a.level")), "x")
                    .contains(QLatin1String("No such file or directory")));
}

// A link that names a file not there yet (through other links, relative to their own folders):
// the links stay and the file is made where they lead.
TEST(SafeFile, ALinkToNoFileYetLeadsToTheFileMade)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("sub"));
    const QString link = dir.filePath(QStringLiteral("link.level"));
    ASSERT_EQ(::symlink("sub/middle.level", native(link).constData()), 0);
    ASSERT_EQ(::symlink("made.level", native(dir.filePath(QStringLiteral("sub/middle.level"))).constData()), 0);
    EXPECT_EQ(saveFileAtomically(link, "made"), QString());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("sub/middle.level"))).isSymLink());
    EXPECT_EQ(readBytes(dir.filePath(QStringLiteral("sub/made.level"))), "made");
}

TEST(SafeFile, LinksInALoopAreRefused)
{
    QTemporaryDir dir;
    const QString loop = dir.filePath(QStringLiteral("loop.level"));
    ASSERT_EQ(::symlink("loop.level", native(loop).constData()), 0);
    EXPECT_FALSE(saveFileAtomically(loop, "x").isEmpty());
    EXPECT_TRUE(QFileInfo(loop).isSymLink());
}

// In a folder with the sticky bit (as /tmp), only a file's owner may replace it: the save says so.
TEST(SafeFile, AFileOfAnotherUserInAStickyFolderIsRefusedWithTheReason)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chown(native(folder).constData(), 4321, 4321), 0); // as /tmp is: not the saver's
    ASSERT_EQ(::chmod(native(folder).constData(), 01777), 0);
    const QString path = folder + QStringLiteral("/theirs.level");
    writeBytes(path, "earlier");
    ASSERT_EQ(::chown(native(path).constData(), 1234, 1234), 0);
    ASSERT_EQ(::chmod(native(path).constData(), 0666), 0);
    QString reason;
    {
        const PermissionsEnforced asAUser(true);
        if (!asAUser.active())
            GTEST_SKIP() << "the capabilities cannot be dropped here";
        reason = saveFileAtomically(path, "new");
    }
    EXPECT_EQ(reason,
        QStringLiteral("the folder %1 lets only the owner of a file replace it (its sticky bit is set), and the file "
                       "belongs to another user")
            .arg(folder));
    EXPECT_EQ(readBytes(path), "earlier");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("theirs.level")});
}

} // namespace
