// Files opened for reading and replaced by a save: what is refused, what is kept, and what the
// user is told.

#include "LevelIO.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
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
    EXPECT_EQ(::stat(native(path).constData(), &st), 0) << path.toStdString();
    return st;
}

struct Refused { const char* name; std::function<QString(const QString& dir)> make; const char* reason; };

TEST(SafeFile, ReadingRefusesWhatIsNotARegularFileOrTooLongWithoutWaiting)
{
    const Refused cases[] = {
        {"folder", [](const QString& dir) { return dir; }, "folder"},
        {"fifoWithoutWriter", [](const QString& dir) { const QString p = dir + QStringLiteral("/pipe.level"); ::mkfifo(native(p).constData(), 0600); return p; }, "pipe (FIFO)"},
        {"device", [](const QString&) { return QStringLiteral("/dev/null"); }, "device"},
        {"longerThanTheLimit", [](const QString& dir) {
             const QString p = dir + QStringLiteral("/huge.level");
             QFile f(p);
             EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(maxReadableFileBytes + 1)); // sparse: no disk used
             return p;
         }, "256.0 MB long; the editor reads files of at most 256 MB"},
        {"missing", [](const QString& dir) { return dir + QStringLiteral("/none.level"); }, "No such file or directory"},
    };
    QTemporaryDir dir;
    for (const Refused& c : cases) {
        const QString path = c.make(dir.path());
        auto read = std::async(std::launch::async, [path] {
            Level l;
            QString error;
            ModelLists models(l.catalogue);
            return readLevelFile(path, l.doc, l.settings, models, nullptr, &error) ? QStringLiteral("read") : error;
        });
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Still waiting in open() for a writer: give it one, so that the test ends.
            const int fd = ::open(native(path).constData(), O_WRONLY | O_NONBLOCK);
            ::close(fd);
            ADD_FAILURE() << c.name << ": the read waited";
        }
        const QString error = read.get();
        EXPECT_TRUE(error.contains(path) && error.contains(QLatin1String(c.reason))) << c.name << ": " << error.toStdString();
    }
    // The limit itself is still read.
    const QString small = dir.filePath(QStringLiteral("ten.level"));
    writeBytes(small, "-- 10 by\r\n");
    for (const auto& [limit, refused] : {std::pair(qint64(10), false), std::pair(qint64(9), true)}) {
        QFile f;
        EXPECT_EQ(!openForReading(small, f, limit).isEmpty(), refused) << limit;
        EXPECT_EQ(f.isOpen(), !refused);
    }
}

TEST(SafeFile, ANameThatIsNotValidUtf8IsRefusedAndNeverReachesAnotherFile)
{
    QTemporaryDir dir;
    const QByteArray raw = native(dir.path()) + "/caf\xe9.level";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "earlier", 7), 7);
    ::close(fd);
    struct Unlink {
        QByteArray path;
        ~Unlink() { ::unlink(path.constData()); } // the folder cannot list it, so cannot remove it either
    } unlinkAtEnd{raw};
    const QString decoded = QFile::decodeName(raw); // what the arguments or a dropped URL hand over
    ASSERT_TRUE(decoded.contains(QChar(QChar::ReplacementCharacter)));

    Level l;
    QString error;
    ModelLists models(l.catalogue);
    EXPECT_FALSE(readLevelFile(decoded, l.doc, l.settings, models, nullptr, &error));
    EXPECT_TRUE(error.contains(QLatin1String("not valid UTF-8"))) << error.toStdString();
    EXPECT_TRUE(saveFileAtomically(decoded, "new").contains(QLatin1String("not valid UTF-8")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0) << "no file of another name";
    char kept[16];
    const int rfd = ::open(raw.constData(), O_RDONLY);
    EXPECT_EQ(QByteArray(kept, std::max<int>(0, int(::read(rfd, kept, sizeof kept)))), "earlier");
    ::close(rfd);

    // A file whose name really holds U+FFFD is an ordinary file.
    const QString real = dir.filePath(QStringLiteral("caf\uFFFD-real.level"));
    writeBytes(real, "earlier");
    EXPECT_TRUE(saveFileAtomically(real, "x").isEmpty() && readBytes(real) == "x");

    const std::pair<const char*, const char*> arguments[] = {
        {"plain.level", "plain.level|"}, {"caf\xc3\xa9.level", "caf\u00e9.level|"}, {"caf\xe9.level", "|caf\\xE9.level"}, {"--size", "--size|"}};
    for (const auto& [argument, expected] : arguments) {
        char* argv[] = {const_cast<char*>("starloom"), const_cast<char*>(argument)};
        QStringList refused;
        const QStringList accepted = argumentsOf(2, argv, &refused);
        EXPECT_EQ(accepted.join(u',') + u'|' + refused.join(u','), QString::fromUtf8(expected)) << argument;
    }
}

struct Replaced {
    const char* name;
    mode_t mode;
    bool otherOwner;     // owned by another user and group (needs root)
    bool replaceReadOnly;
    const char* error;   // part of the reason, or nullptr when the save succeeds
};

class SafeSave : public ::testing::TestWithParam<Replaced> {};

TEST_P(SafeSave, ReplacesAtomicallyAndKeepsPermissionsAndOwner)
{
    const Replaced& c = GetParam();
    if (c.otherOwner && ::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("level.level"));
    writeBytes(path, "earlier");
    if (c.otherOwner) // first, since a change of owner clears the set-group-ID bit
        ASSERT_EQ(::chown(native(path).constData(), 1234, 2345), 0);
    ASSERT_EQ(::chmod(native(path).constData(), c.mode), 0);
    const struct stat before = statOf(path);

    const QString error = saveFileAtomically(path, "new", c.replaceReadOnly);
    const struct stat after = statOf(path);
    if (c.error) {
        EXPECT_TRUE(error.contains(QLatin1String(c.error)) && readBytes(path) == "earlier") << error.toStdString();
    } else {
        EXPECT_TRUE(error.isEmpty() && readBytes(path) == "new") << error.toStdString();
        EXPECT_NE(after.st_ino, before.st_ino) << "a new file replaced the earlier one";
    }
    EXPECT_EQ(std::tuple(after.st_mode & 07777, after.st_uid, after.st_gid), std::tuple(c.mode & 07777, before.st_uid, before.st_gid));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("level.level")}) << "no temporary file left";
}

INSTANTIATE_TEST_SUITE_P(Files, SafeSave,
                         ::testing::Values(Replaced{"privateFile", 0600, false, false, nullptr},
                                           Replaced{"groupReadable", 0640, false, false, nullptr},
                                           Replaced{"readOnlyRefused", 0444, false, false, "read-only"},
                                           Replaced{"readOnlyReplacedWhenAsked", 0444, false, true, nullptr},
                                           Replaced{"anotherUsersFile", 0604, true, false, nullptr},
                                           Replaced{"setGroupId", 02775, true, false, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SafeFile, ALinkStaysALinkAndLongNamesAndNewFilesAreSaved)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.level")), link = dir.filePath(QStringLiteral("link.level"));
    writeBytes(target, "earlier");
    ASSERT_EQ(::symlink("real.level", native(link).constData()), 0);
    EXPECT_TRUE(saveFileAtomically(link, "through the link").isEmpty());
    EXPECT_TRUE(QFileInfo(link).isSymLink() && readBytes(target) == "through the link");

    // A temporary name made by appending to a name of 249 to 255 bytes would not fit.
    for (const int length : {249, 255}) {
        const QString name = dir.filePath(QString(length - 6, u'a') + QStringLiteral(".level"));
        writeBytes(name, "earlier");
        EXPECT_EQ(saveFileAtomically(name, "new"), QString()) << length;
        EXPECT_EQ(readBytes(name), "new");
    }

    const mode_t mask = ::umask(022);
    const QString fresh = dir.filePath(QStringLiteral("fresh.level"));
    EXPECT_TRUE(saveFileAtomically(fresh, "new").isEmpty());
    EXPECT_EQ(statOf(fresh).st_mode & 07777, 0644u);
    ::umask(mask);
    EXPECT_TRUE(saveFileAtomically(dir.filePath(QStringLiteral("missing/a.level")), "x").contains(QLatin1String("No such file or directory")));
}

} // namespace
