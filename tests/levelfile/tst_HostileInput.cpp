// Files no level editor should have to read: huge ones, unreadable ones, and
// the inputs the fuzzers found. Each has its defined outcome; none may crash or
// leave a half-made item.

#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include "Privileges.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

using namespace starloom;
using starloom::test::PermissionsEnforced;

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

struct Level {
  LevelDocument doc;
  MapSettings settings;
  Catalogue catalogue;
  ReadResult result;

  void read(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ModelLists models(catalogue);
    result = readLevel(buffer, doc, settings, models);
  }
  QByteArray write() {
    ModelLists models(catalogue);
    return writeLevel(doc, settings, models);
  }
};

QByteArray body(const char *lines) {
  return QByteArray("function DetermChunk()\n") + lines + "\nend\n";
}

// The peak resident memory of this process so far, in kilobytes.
long peakMemoryKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray &line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:"))
      return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return -1;
}

TEST(HostileInput, AHugeFileIsStreamedWithFlatMemory) {
  // 200 MB normally; the sanitizers keep freed memory aside, so there only the
  // reading is checked.
  const int megabytes = underSanitizer ? 24 : 200;
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("huge.level"));
  {
    QByteArray block =
        "  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\r\n";
    const QByteArray filler =
        "-- " + QByteArray(1000, 'x') + "\r\n  fogSetActive(0)\r\n";
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

  LevelDocument doc;
  MapSettings settings;
  Catalogue catalogue;
  ModelLists models(catalogue);
  QString error;
  const long before = peakMemoryKb();
  const auto result =
      readLevelFile(path, doc, settings, models, nullptr, &error);
  const long grown = peakMemoryKb() - before;
  ASSERT_TRUE(result) << error.toStdString();
  EXPECT_EQ(doc.itemCount(ItemKind::Asteroid), megabytes);
  EXPECT_EQ(doc.itemCount(ItemKind::Pebble), 1); // the last line was reached
  EXPECT_TRUE(result->problems.empty());
  if (!underSanitizer && before > 0)
    EXPECT_LT(grown, 32 * 1024) << "the peak memory grew by " << grown << " kB";
}

TEST(HostileInput, AFileWithoutReadPermissionIsReportedNotRead) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("secret.level"));
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("function F()\naddPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\nend\n");
  }
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
  const PermissionsEnforced
      enforced; // as root, the bits alone would not stop the read
  if (geteuid() == 0 && !enforced.active())
    GTEST_SKIP() << "running as root without the right to drop capabilities";
  LevelDocument doc;
  MapSettings settings;
  Catalogue catalogue;
  ModelLists models(catalogue);
  QString error;
  EXPECT_FALSE(readLevelFile(path, doc, settings, models, nullptr, &error));
  EXPECT_TRUE(error.contains(QLatin1String("secret.level")) &&
              error.contains(QLatin1String("ermission")))
      << error.toStdString();
  EXPECT_EQ(doc.itemCount(ItemKind::Pebble), 0);
}

// Inputs the fuzzers found, each with what the reader must make of it.
struct FoundCase {
  const char *name;
  QByteArray file;
  std::function<void(const Level &)> expect;
};

class FoundByFuzzing : public ::testing::TestWithParam<FoundCase> {};

TEST_P(FoundByFuzzing, ReadsAsDefinedAndSurvivesASaveAndLoad) {
  Level first;
  first.read(GetParam().file);
  GetParam().expect(first);
  // Saving what was read and reading it again gives the same level and the same
  // bytes.
  const QByteArray saved = first.write();
  Level second;
  second.read(saved);
  EXPECT_TRUE(second.result.problems.empty())
      << problemsText(second.result.problems).toStdString();
  EXPECT_EQ(second.write(), saved);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, FoundByFuzzing,
    ::testing::Values(
        // The player count without "=" was read through a view of a destroyed
        // text.
        FoundCase{"maxPlayersWithoutEquals", "maxPlayers is 4\n",
                  [](const Level &l) { EXPECT_EQ(l.settings.playerIndex, 2); }},
        // Quoted names lost nothing but gained a backslash at every save and
        // load.
        FoundCase{"escapedNames",
                  "function F()\n  addPebble(\"a\\\\b\", {1, 2, 3}, 0, 0, 0)\n"
                  "  addSquadron(\"say\\\\hi\", \"x\", {1, 2, 3}, 0, {0, 0, "
                  "0}, 0, 0)\n"
                  "  loadBackground(\"m\\\\01\")\n  "
                  "setDefaultMusic(\"Data:sound/music/a\\\\b\")\nend\n",
                  [](const Level &l) {
                    EXPECT_EQ(l.doc.props(ItemKind::Pebble)[0].customName,
                              QLatin1String("a\\b"));
                    EXPECT_EQ(l.doc.ships()[0].customName,
                              QLatin1String("say\\hi"));
                    EXPECT_EQ(l.settings.background, QLatin1String("m\\01"));
                    EXPECT_EQ(l.settings.music, QLatin1String("a\\b"));
                  }},
        // Found by the editor's monkey test: "Custom" is no model, and a quoted
        // background or music keeps its blanks and quotes.
        FoundCase{"namedCustom",
                  body("  addAsteroid(\"Custom\", {1, 2, 3}, 100, 0, 0, 0, 0)"),
                  [](const Level &l) {
                    EXPECT_EQ(l.doc.resources(ItemKind::Asteroid)[0].modelIndex,
                              -1);
                    EXPECT_EQ(l.doc.resources(ItemKind::Asteroid)[0].customName,
                              QLatin1String("Custom"));
                  }},
        FoundCase{"quotedSettings",
                  body("  loadBackground(\"  my, (odd) sky \")\n  "
                       "setDefaultMusic(\"Data:sound/music/Say \\\"hi\\\"\")"),
                  [](const Level &l) {
                    EXPECT_EQ(l.settings.background,
                              QLatin1String("  my, (odd) sky "));
                    EXPECT_EQ(l.settings.music, QLatin1String("Say \"hi\""));
                  }}),
    [](const ::testing::TestParamInfo<FoundCase> &info) {
      return std::string(info.param.name);
    });

} // namespace
