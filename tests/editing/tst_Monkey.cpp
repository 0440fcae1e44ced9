// Thousands of seeded random user actions on the editor. After every action the
// object list, the labels and the level must agree; every few hundred actions a
// save, and a load of that file into a fresh editor, must give the same level
// back. STARLOOM_MONKEY_ACTIONS=N runs longer, STARLOOM_MONKEY_SEED=S another
// sequence.

#include "EditorFixture.h"

#include "TestSupport.h"

#include <QTemporaryDir>

#include <random>
#include <set>
#include <utility>

using namespace starloom;
using namespace starloom::test;

namespace {

// Texts a user might type into a number field, the bad ones included.
const char *const fieldTexts[] = {
    "0",   "1",      "128",   "255",    "-5",         "2.5",        "3.5",
    "100", "32767",  "32768", "-32769", "2147483648", "1e309",      "-1e309",
    "abc", "",       " 7 ",   "0x10",   "--5",        "1.5.5",      "-nan",
    "inf", "1e-320", "12abc", "45.25",  "-0",         "9999999999", "1e0005"};
// Custom model names, readable and not.
const char *const names[] = {
    "my_rock",   "kus_scout", "meg_custom", "a\\b",      "",
    "two words", "quo\"te",   "comma,",     "br(ack)et", "caf\xe9",
    "Custom",    "hgn_scout", "tab\tname"};
// Level descriptions, backgrounds and music (any 8-bit text).
const char *const texts[] = {
    "NewMap", "Duel",       "Say \"hi\"", "back\\slash",      "line\nbreak",
    "",       "  padded  ", "m07",        "Battle/battle_06", "caf\xe9"};
// World and grid sizes and camera distances: numbers for the options window.
const char *const sizeTexts[] = {"30000", "20000", "1000", "50000.5",
                                 "1e5",   "0",     "-5",   "abc",
                                 "",      "1e999", "10 km"};
const char *const cameraTexts[] = {"5000", "230000", "0", "12.5", "1e4"};

class Monkey {
public:
  Monkey(std::uint32_t seed, QString folder)
      : m_rng(seed), m_folder(std::move(folder)) {
    auto numbers = std::make_shared<std::mt19937>(seed + 1);
    m_random = [numbers] {
      return double((*numbers)() >> 5) / double(1u << 27);
    };
    m_editor = std::make_unique<Editor>(m_host, m_store, m_random, QString());
  }

  int checksMade() const { return m_checks; }

  // One random action; returns its name for the failure report.
  const char *act() {
    Editor &e = *m_editor;
    switch (pick(24)) {
    case 0:
      e.selectKind(allKinds[pick(9)]);
      return "select kind";
    case 1:
      e.selectKind(allKinds[pick(9)]);
      e.Combo1_Click(int(e.modelList().size()) - 1);
      e.setCustomName(QString::fromLatin1(names[pick(std::size(names))]));
      e.Picture1_MouseMove(0, 0, coordinate(), coordinate());
      e.Picture1_Click();
      return "place a custom item";
    case 2: // "Custom" is the last entry of the lists that have it: pick it
            // often
      e.Combo1_Click(pick(3) == 0 ? int(e.modelList().size()) - 1
                                  : pick(int(e.modelList().size()) + 2) - 1);
      return "pick model";
    case 3:
      e.setCustomName(QString::fromLatin1(names[pick(std::size(names))]));
      return "custom name";
    case 4:
      e.setFieldText(pick(4), fieldText());
      return "field text";
    case 5:
      e.setSetHeightChecked(pick(2));
      e.setSetHeightText(fieldText());
      e.setRandomHeightChecked(pick(2));
      e.setRandomHeightText(fieldText());
      return "height controls";
    case 6:
    case 7:
    case 8:
      e.Picture1_MouseMove(pick(3) == 0 ? 1 : 0, 0, coordinate(), coordinate());
      e.Picture1_Click();
      return "click top view";
    case 9:
      e.Timer1_Timer();
      e.Picture1_MouseUp(1, 0, 0, 0);
      return "timer and mouse-up";
    case 10:
      e.picLeft_MouseMove(0, 0, coordinate(), coordinate());
      e.picLeft_Click();
      return "click front view";
    case 11:
    case 12:
      e.selectRow(pick(int(e.rows().size()) + 1) - 1);
      e.lstObjects_Click();
      return "click row";
    case 13:
      e.lblObjects_Click(pick(e.labelCount() + 1));
      return "click label";
    case 14:
      for (int i = 0; i < 4; ++i)
        e.setFieldText(i, fieldText());
      e.cmdApply_Click();
      return "apply";
    case 15:
      e.mnuObjectsDelete_Click();
      return "delete";
    case 16:
      m_host.textAnswers.push_back(
          pick(5) == 0 ? std::nullopt : std::optional<QString>(fieldText()));
      e.mnuObjectsSetPlayer_Click();
      return "set player";
    case 17:
      switch (pick(5)) {
      case 0:
        e.cmdZoomIn_Click();
        break;
      case 1:
        e.cmdZoomOut_Click();
        break;
      case 2:
        e.Picture1_MouseWheel(pick(7) - 3, coordinate(), coordinate());
        break;
      case 3:
        e.panTopView(coordinate(), coordinate());
        break;
      default:
        e.disarmZoom();
        break;
      }
      return "zoom";
    case 18:
      if (pick(2))
        e.mnuLabelsHide_Click(pick(11));
      else
        e.mnuLabelsHideAll_Click();
      return "labels menu";
    case 19:
      options();
      return "options";
    case 20:
      m_host.colourAnswers.push_back(
          pick(3) == 0 ? std::nullopt
                       : std::optional<std::int32_t>(int(m_rng())));
      e.cmdColourSelect_Click();
      return "colour";
    case 21:
      if (pick(2))
        e.undo();
      else
        e.redo();
      return "undo or redo";
    case 22:
      if (pick(8) == 0) {
        e.mnuFileNew_Click();
        return "new level";
      }
      save();
      return "save";
    default:
      load();
      return "load";
    }
  }

  // What must hold after every action.
  void checkInvariants(const char *action, int step) const {
    const Editor &e = *m_editor;
    const LevelDocument &doc = e.document();
    SCOPED_TRACE(testing::Message()
                 << "after action " << step << " (" << action << ")");
    std::set<std::pair<int, int>> named;
    std::array<int, 10> rowsOfKind{};
    for (std::size_t i = 0; i < e.rows().size(); ++i) {
      const ObjectRow &row = e.rows()[i];
      ++rowsOfKind[static_cast<std::size_t>(typeIdOf(row.kind))];
      // Loading a start point into a slot that holds one adds a second row for
      // the slot; every other item has exactly one row.
      ASSERT_TRUE(named.insert({typeIdOf(row.kind), row.arrayId}).second ||
                  row.kind == ItemKind::PlayerStart)
          << "two rows for one item at row " << i;
      if (row.kind != ItemKind::PlayerStart)
        ASSERT_TRUE(doc.isLive(row.kind, row.arrayId))
            << "row " << i << " names no live item";
      else
        ASSERT_TRUE(doc.exists(row.kind, row.arrayId))
            << "row " << i << " names no player slot";
      const MapLabel label = e.labelFor(static_cast<int>(i));
      ASSERT_EQ(label.caption, row.text);
      ASSERT_EQ(label.key, rowKey(static_cast<qsizetype>(i)));
      ASSERT_EQ(e.rowForKey(label.key), static_cast<int>(i));
    }
    ASSERT_EQ(e.labelCount(), static_cast<int>(e.rows().size()));
    for (ItemKind kind : arrayKinds) {
      ASSERT_EQ(rowsOfKind[static_cast<std::size_t>(typeIdOf(kind))],
                doc.liveCount(kind))
          << "rows of " << kindInfo(kind).name;
      ASSERT_EQ(e.liveCount(kind), doc.liveCount(kind));
    }
    for (int slot = 0; slot < playerSlots; ++slot) {
      if (!doc.player(slot).label.isEmpty())
        ASSERT_TRUE(named.count({typeIdOf(ItemKind::PlayerStart), slot}))
            << "start " << slot << " has no row";
    }
    ASSERT_GE(e.selectedRow(), -1);
    ASSERT_LT(e.selectedRow(), static_cast<int>(e.rows().size()));
  }

  // Saves the level, loads the file into a fresh editor and saves that again:
  // same bytes.
  void checkRoundTrip(int step) {
    SCOPED_TRACE(testing::Message() << "round trip after action " << step);
    const QString first = m_folder + QStringLiteral("/check-a.level");
    const QString second = m_folder + QStringLiteral("/check-b.level");
    QFile::remove(first);
    QFile::remove(second);
    // The user places the start points the level still lacks, then saves.
    Editor &e = *m_editor;
    for (int slot = 0;
         slot < std::min(e.mapSettings().playerCount(), playerSlots); ++slot) {
      if (e.document().player(slot).label.isEmpty()) {
        e.selectKind(ItemKind::PlayerStart);
        e.Combo1_Click(slot);
        e.Picture1_MouseMove(0, 0, coordinate(), coordinate());
        e.Picture1_Click();
      }
    }
    m_host.saveNames = {first};
    ASSERT_TRUE(e.mnuFileSave_Click()) << m_host.lastMessage().toStdString();
    ScriptedHost host;
    MemorySettingsStore store;
    Editor fresh(host, store, m_random, QString());
    host.openNames = {first};
    ASSERT_TRUE(fresh.mnuFileLoad_Click());
    ASSERT_TRUE(host.messages.empty()) << host.lastMessage().toStdString();
    for (ItemKind kind : arrayKinds)
      ASSERT_EQ(fresh.document().liveCount(kind),
                m_editor->document().liveCount(kind));
    host.saveNames = {second};
    ASSERT_TRUE(fresh.mnuFileSave_Click());
    const QList<QByteArray> a = readBytes(first).split('\n');
    const QList<QByteArray> b = readBytes(second).split('\n');
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
      ASSERT_EQ(b[i], a[i])
          << "line " << i + 1 << " differs after a save and a load";
    ASSERT_EQ(b.size(), a.size());
    ++m_checks;
  }

private:
  int pick(std::size_t n) { return n == 0 ? 0 : static_cast<int>(m_rng() % n); }
  double coordinate() {
    switch (pick(10)) {
    case 0:
      return (pick(2) ? 1 : -1) * 1e10;
    case 1:
      return 0;
    default:
      return double(pick(80001)) - 40000 + double(pick(100)) / 100;
    }
  }
  QString fieldText() {
    if (pick(3) == 0)
      return QString::number(pick(70000) - 35000);
    return QString::fromLatin1(fieldTexts[pick(std::size(fieldTexts))]);
  }

  void options() {
    Editor &e = *m_editor;
    const MapSettings before = e.mapSettings();
    const QString gridBefore = e.gridSize();
    MapSettings &s = e.mapSettings();
    s.levelDesc = QString::fromLatin1(texts[pick(std::size(texts))]);
    s.playerIndex = pick(5);
    s.sizeX = QString::fromLatin1(sizeTexts[pick(std::size(sizeTexts))]);
    s.sizeY = QString::fromLatin1(sizeTexts[pick(std::size(sizeTexts))]);
    s.sizeZ = QString::fromLatin1(sizeTexts[pick(std::size(sizeTexts))]);
    s.cameraMin =
        QString::fromLatin1(cameraTexts[pick(std::size(cameraTexts))]);
    s.cameraMax =
        QString::fromLatin1(cameraTexts[pick(std::size(cameraTexts))]);
    if (pick(2))
      s.background = QString::fromLatin1(texts[pick(std::size(texts))]);
    if (pick(2))
      s.music = QString::fromLatin1(texts[pick(std::size(texts))]);
    e.setGridSize(QString::fromLatin1(sizeTexts[pick(std::size(sizeTexts))]));
    e.setFontSizeIndex(pick(11));
    if (!e.Command1_Click()) {
      // The window stays open on a bad size; the user puts the sizes back.
      s.sizeX = before.sizeX;
      s.sizeY = before.sizeY;
      s.sizeZ = before.sizeZ;
      e.setGridSize(gridBefore);
      ASSERT_TRUE(e.Command1_Click());
    }
  }

  void save() {
    const QString path =
        m_folder + QStringLiteral("/save-%1.level").arg(pick(3));
    m_host.saveNames.push_back(
        pick(10) == 0 ? m_folder : path); // now and then a folder's name
    if (m_editor->mnuFileSave_Click())
      m_saved.push_back(path);
    m_host.saveNames.clear();
  }

  void load() {
    // Loading appends: keep the level small enough for thousands of actions.
    if (m_editor->rows().size() > 300 || m_saved.empty()) {
      m_host.openNames = {m_folder + QStringLiteral("/none.level")};
    } else {
      m_host.openNames = {
          m_saved[static_cast<std::size_t>(pick(m_saved.size()))]};
    }
    m_editor->mnuFileLoad_Click();
    m_host.openNames.clear();
  }

  std::mt19937 m_rng;
  QString m_folder;
  RandomSource m_random;
  ScriptedHost m_host;
  MemorySettingsStore m_store;
  std::unique_ptr<Editor> m_editor;
  std::vector<QString> m_saved;
  int m_checks = 0;
};

TEST(Monkey, RandomActionsKeepTheListTheLabelsAndTheFileInStep) {
  const int actions =
      qEnvironmentVariableIsSet("STARLOOM_MONKEY_ACTIONS")
          ? qEnvironmentVariableIntValue("STARLOOM_MONKEY_ACTIONS")
          : 20000;
  const auto seed =
      qEnvironmentVariableIsSet("STARLOOM_MONKEY_SEED")
          ? static_cast<std::uint32_t>(
                qEnvironmentVariableIntValue("STARLOOM_MONKEY_SEED"))
          : 20040501u;
  QTemporaryDir dir;
  Monkey monkey(seed, dir.path());
  for (int step = 1; step <= actions; ++step) {
    const char *action = monkey.act();
    monkey.checkInvariants(action, step);
    if (HasFatalFailure())
      return;
    if (step % 500 == 0 || step == actions) {
      monkey.checkRoundTrip(step);
      if (HasFatalFailure())
        return;
    }
  }
  EXPECT_EQ(monkey.checksMade(), actions / 500 + (actions % 500 != 0));
}

// What the monkey found, kept as plain cases.
class MonkeyFindings : public EditorTest {};

TEST_F(MonkeyFindings, AShipNamedLikeAMegalithIsRefused) {
  place(ItemKind::PlayerStart, 0, 0, 0);
  placeCustom(ItemKind::Ship, QStringLiteral("MEG_custom"));
  EXPECT_EQ(doc().itemCount(ItemKind::Ship),
            0); // it would come back from the file as a megalith
  EXPECT_TRUE(host.lastMessage().contains(QLatin1String("meg_")));
  placeCustom(ItemKind::Salvage,
              QStringLiteral("meg_chunk")); // other kinds may
  EXPECT_EQ(doc().itemCount(ItemKind::Salvage), 1);
}

} // namespace
