// A save that cannot be completed leaves the earlier file as it was and tells the user why.

#include "EditorFixture.h"

#include "Privileges.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace starloom;
using namespace starloom::test;

namespace {

enum class Failure { ReadOnly, Full, BiggerThanFreeSpace, PathIsAFolder };

struct FailingSave {
    const char* name;
    Failure failure;
    const char* reason; /* part of the message the user sees */
};

class SaveSafetyTest : public EditorTest, public ::testing::WithParamInterface<FailingSave> {};

TEST_P(SaveSafetyTest, TheEarlierFileIsKeptWithTheUserToldWhy)
{
    const FailingSave& c = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("maps"));
    ASSERT_TRUE(QDir().mkpath(folder));
    std::optional<TinyFileSystem> fs;
    if (c.failure != Failure::PathIsAFolder) {
        fs.emplace(folder, 64);
        if (!fs->mounted())
            GTEST_SKIP() << "needs a tiny file system of its own: " << fs->error().toStdString();
    }
    const QString path = folder + QStringLiteral("/duel.level");
    const QByteArray earlier = "-- the level as it was saved before\r\n";
    if (c.failure == Failure::PathIsAFolder) {
        ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
    } else {
        writeBytes(path, earlier);
    }
    if (c.failure == Failure::Full)
        fs->fill(QStringLiteral("filler"));
    if (c.failure == Failure::ReadOnly) {
        ASSERT_TRUE(fs->makeReadOnly());
    }

    place(ItemKind::PlayerStart, -1000, 0, 0);
    place(ItemKind::PlayerStart, 1000, 0, 1);
    // Some 130 kB of level for the 64 kB file system, or a small one.
    for (int i = 0, n = c.failure == Failure::BiggerThanFreeSpace ? 2000 : 20; i < n; ++i)
        place(ItemKind::Asteroid, i * 100, i * 50);
    host.notes.clear();
    host.saveNames = {path};
    EXPECT_FALSE(editor->saveAs());
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_TRUE(host.lastNote().startsWith(QStringLiteral("The level could not be saved as ") + path))
        << host.lastNote().toStdString();
    EXPECT_TRUE(host.lastNote().contains(QLatin1String(c.reason))) << host.lastNote().toStdString();
    if (c.failure == Failure::PathIsAFolder) {
        EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral("/inside")));
    } else {
        EXPECT_EQ(readBytes(path), earlier);
    }
    EXPECT_TRUE(editor->isModified()); // the work is still there to be saved elsewhere
}

INSTANTIATE_TEST_SUITE_P(Folders, SaveSafetyTest,
    ::testing::Values(FailingSave{"readOnly", Failure::ReadOnly, "Read-only file system"},
        FailingSave{"full", Failure::Full, "No space left on device"},
        FailingSave{"biggerThanFreeSpace", Failure::BiggerThanFreeSpace, "No space left on device"},
        FailingSave{"pathIsAFolder", Failure::PathIsAFolder, "Is a directory"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(EditorTest, AReadOnlyLevelIsReplacedOnlyWhenTheUserAgreesStayingReadOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locked.level"));
    writeBytes(path, "earlier");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    place(ItemKind::PlayerStart, -1000, 0, 0);
    place(ItemKind::PlayerStart, 1000, 0, 1);
    for (const bool agree : {false, true}) {
        host.yesNoAnswers = {agree};
        host.saveNames = {path};
        EXPECT_EQ(editor->saveAs(), agree);
        EXPECT_NE((readBytes(path) == "earlier"), agree);
    }
    // Save to the file in use (Ctrl+S) asks the same question.
    place(ItemKind::Asteroid, 0, 0);
    const QByteArray saved = readBytes(path);
    for (const bool agree : {false, true}) {
        host.yesNoAnswers = {agree};
        EXPECT_EQ(editor->save(), agree);
        EXPECT_NE(readBytes(path) == saved, agree);
    }
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ((st.st_mode & 07777), 0444);
}

} // namespace
