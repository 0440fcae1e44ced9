#include "gamedata/Environment.h"
#include "gamedata/GameSetup.h"
#include "gamedata/Registry.h"

#include "BigArchiveWriter.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

#include <sys/stat.h>

using namespace starloom;
using namespace starloom::test;

namespace {

class FakeEnvironment final : public Environment {
public:
    std::map<QString, QString> variables;
    QString home;
    bool windows = false;
    QString variable(const QString& name) const override
    {
        const auto it = variables.find(name);
        return it == variables.end() ? QString() : it->second;
    }
    QString homePath() const override { return home; }
    bool isWindows() const override { return windows; }
};

class FakeRegistry final : public Registry {
public:
    std::map<QString, QString> values; // "HKLM|key|name" -> value
    QString value(RegistryRoot root, const QString& key, const QString& name) const override
    {
        const auto it = values.find((root == RegistryRoot::LocalMachine ? "HKLM|" : "HKCU|") + key + u'|' + name);
        return it == values.end() ? QString() : it->second;
    }
};

QString vdfPath(const QString& path)
{
    return QString(path).replace('\\', "\\\\");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    writeBytes(path, bytes);
}

// A Steam library holding the collection in steamapps/common/<installDir> with both games.
void addCollection(const QString& library, const char* installDir = "Homeworld", const char* steamapps = "steamapps")
{
    const QString apps = library + '/' + steamapps;
    writeFile(apps + "/appmanifest_244160.acf",
        QByteArray("\"AppState\"\n{\n\t\"appid\"\t\t\"244160\"\n\t\"installdir\"\t\t\"") + installDir + "\"\n}\n");
    const QString collection = apps + "/common/" + installDir;
    makeEntry(collection, "Homeworld2Classic/Data/Homeworld2.big", false);
    makeEntry(collection, "HomeworldRM/Data/HW2Ships.big", false);
}

void writeNestedVdf(const QString& steamRoot, const QStringList& libraries, int holding)
{
    QByteArray text = "\"libraryfolders\"\n{\n";
    for (qsizetype i = 0; i < libraries.size(); ++i)
        text += "\t\"" + QByteArray::number(i) + "\"\n\t{\n\t\t\"path\"\t\t\"" + vdfPath(libraries[i]).toUtf8()
            + "\"\n\t\t\"apps\"\n\t\t{\n" + (i == holding ? "\t\t\t\"244160\"\t\t\"1\"\n" : "") + "\t\t}\n\t}\n";
    writeFile(steamRoot + "/steamapps/libraryfolders.vdf", text + "}\n");
}

void writeFlatVdf(const QString& steamRoot, const char* steamapps, const QStringList& libraries)
{
    QByteArray text = "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1\"\n";
    for (qsizetype i = 0; i < libraries.size(); ++i)
        text += "\t\"" + QByteArray::number(i + 1) + "\"\t\t\"" + vdfPath(libraries[i]).toUtf8() + "\"\n";
    writeFile(steamRoot + '/' + steamapps + "/libraryfolders.vdf", text + "}\n");
}

// "edition folder-below-root | how" lines.
std::string describe(const std::vector<GameInstall>& games, const QString& root)
{
    QStringList lines;
    for (const GameInstall& g : games)
        lines << editionName(g.edition) + u' ' + QString(g.folder).remove(root + '/') + " | "
                + QString(g.foundBy).replace(root + '/', "~/");
    return lines.join(u'\n').toStdString();
}

std::string lines(const QStringList& expected)
{
    return expected.join(u'\n').toStdString();
}

TEST(GameDiscovery, LinuxLooksAtTheVariableTheWinePrefixThenEverySteamFolder)
{
    QTemporaryDir dir;
    const QString home = dir.filePath("home");
    // ~/.local/share/Steam: the current format, the game in a second library (listed with the app);
    // a third library is listed but stale. ~/.steam/steam links to it and adds nothing.
    const QString steam = home + "/.local/share/Steam";
    writeNestedVdf(steam, {steam, dir.filePath("stale"), dir.filePath("lib")}, 2);
    makeEntry(dir.path(), "stale/steamapps/", true);
    addCollection(dir.filePath("lib"));
    QDir().mkpath(home + "/.steam");
    QFile::link(steam, home + "/.steam/steam");
    // Flatpak's Steam: the old flat format and an old "SteamApps" folder; the game in Steam's own folder.
    const QString flatpak = home + "/.var/app/com.valvesoftware.Steam/.local/share/Steam";
    writeFlatVdf(flatpak, "SteamApps", {dir.filePath("elsewhere")});
    addCollection(flatpak, "Homeworld Remastered", "SteamApps");
    // A classic game from the variable, and one in the Wine prefix.
    makeEntry(dir.path(), "cd/Data/", true);
    makeEntry(home, ".wine/drive_c/Sierra/Homeworld2/Data/", true);
    writeBytes(home + "/.wine/system.reg",
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Homeworld2]\n"
        "\"GAMEDIR\"=\"C:\\\\Sierra\\\\Homeworld2\"\n");

    FakeEnvironment env;
    const QString root = QDir(dir.path()).canonicalPath();
    env.home = root + "/home";
    env.variables["STARLOOM_GAME_DIR"] = root + "/cd";
    EXPECT_EQ(describe(findGames(env, FakeRegistry()), root),
        lines({
            "classic cd | STARLOOM_GAME_DIR",
            "classic home/.wine/drive_c/Sierra/Homeworld2 | the registry value GAMEDIR of the Wine prefix ~/home/.wine",
            "classic lib/steamapps/common/Homeworld/Homeworld2Classic | Steam (~/home/.local/share/Steam), Steam "
            "library ~/lib",
            "remastered lib/steamapps/common/Homeworld/HomeworldRM | Steam (~/home/.local/share/Steam), Steam library "
            "~/lib",
            "classic home/.var/app/com.valvesoftware.Steam/.local/share/Steam/SteamApps/common/Homeworld "
            "Remastered/Homeworld2Classic | "
            "Steam (~/home/.var/app/com.valvesoftware.Steam/.local/share/Steam), Steam library "
            "~/home/.var/app/com.valvesoftware.Steam/.local/share/Steam",
            "remastered home/.var/app/com.valvesoftware.Steam/.local/share/Steam/SteamApps/common/Homeworld "
            "Remastered/HomeworldRM | "
            "Steam (~/home/.var/app/com.valvesoftware.Steam/.local/share/Steam), Steam library "
            "~/home/.var/app/com.valvesoftware.Steam/.local/share/Steam",
        }));
    env.variables["WINEPREFIX"] = root + "/no-prefix";
    env.variables["STARLOOM_GAME_DIR"] = root + "/missing";
    QStringList problems;
    EXPECT_EQ(findGames(env, FakeRegistry(), &problems).size(), 4u) << "neither the variable nor the prefix";
    EXPECT_EQ(problems, QStringList{"The game folder " + root + "/missing does not exist (STARLOOM_GAME_DIR)"});
}

TEST(GameDiscovery, WindowsLooksAtTheRegistryThenSteam)
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    makeEntry(root, "Sierra/Homeworld2/Data/Homeworld2.big", false);
    writeFlatVdf(root + "/Steam", "steamapps", {root + "\\Library"}); // a Windows path, as such files hold it
    addCollection(root + "/Library");
    makeEntry(root, "Other/Homeworld/HomeworldRM/Data/HWRM.big", false);
    FakeRegistry registry;
    registry.values["HKLM|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Homeworld2|GAMEDIR"] =
        root + "/Sierra/Homeworld2";
    registry.values["HKCU|Software\\Valve\\Steam|SteamPath"] = root + "/Steam";
    registry.values["HKLM|SOFTWARE\\WOW6432Node\\Valve\\Steam|InstallPath"] = root + "/Steam"; // the same Steam again
    registry.values["HKLM|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Steam App 244160|InstallLocation"] =
        root + "/Other/Homeworld";
    FakeEnvironment env;
    env.windows = true;
    env.home = root + "/home";
    EXPECT_EQ(describe(findGames(env, registry), root),
        lines({"classic Sierra/Homeworld2 | the registry value GAMEDIR of "
               "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Homeworld2",
            "classic Library/steamapps/common/Homeworld/Homeworld2Classic | Steam "
            "(HKEY_CURRENT_USER\\Software\\Valve\\Steam\\SteamPath), Steam library ~/Library",
            "remastered Library/steamapps/common/Homeworld/HomeworldRM | Steam "
            "(HKEY_CURRENT_USER\\Software\\Valve\\Steam\\SteamPath), Steam library ~/Library",
            "remastered Other/Homeworld/HomeworldRM | the registry value InstallLocation of "
            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Steam App 244160"}));
    EXPECT_TRUE(findGames(env, FakeRegistry()).empty());
}

TEST(GameDiscovery, AFolderHoldsACollectionAGameOrNothing)
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    for (const char* entry :
        {"coll/homeworld2classic/DATA/", "coll/HomeworldRM/Data/", "rm/HomeworldRM/Data/", "modern/Data/HW2Ships.big",
            "cd/Data/homeworld2.BIG", "cd/Data/EnglishSpeech.big", "loose/Data/ship/", "empty/"})
        makeEntry(root, QString::fromLatin1(entry), QString::fromLatin1(entry).endsWith('/'));
    const std::pair<const char*, const char*> cases[] = {
        {"coll", "classic coll/homeworld2classic | x,remastered coll/HomeworldRM | x"},
        {"rm/HomeworldRM", "remastered rm/HomeworldRM | x"},
        {"modern", "remastered modern | x"},
        {"cd", "classic cd | x"},
        {"cd/Data", "classic cd | x"}, // the Data folder itself stands for its game
        {"loose", "classic loose | x"},
        {"empty", ""},
        {"missing", ""},
    };
    for (const auto& [folder, expected] : cases)
        EXPECT_EQ(QString::fromStdString(describe(gamesInFolder(root + '/' + folder, "x"), root)).replace('\n', ','),
            QString::fromLatin1(expected))
            << folder;
    EXPECT_EQ(archivesOf(gamesInFolder(root + "/cd", "x").at(0)), QStringList{root + "/cd/Data/homeworld2.BIG"});
    EXPECT_EQ(gameFolderProblem(root + "/empty") + u'|' + gameFolderProblem(root + "/missing") + u'|'
            + gameFolderProblem(root + "/cd"),
        "The game folder " + root + "/empty holds no Data folder|The game folder " + root + "/missing does not exist|");
}

TEST(GameDiscovery, TheClassicGameIsUsedUnlessTheOtherIsAskedFor)
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    makeEntry(root, "coll/Homeworld2Classic/Data/", true);
    makeEntry(root, "coll/HomeworldRM/Data/", true);
    makeEntry(root, "nodata/", true);
    const std::vector<GameInstall> found = {
        {root + "/rm", GameEdition::Remastered, "Steam"}, {root + "/cd", GameEdition::Classic, "registry"}};
    const std::vector<GameInstall> classicOnly = {found[1]};
    struct Case {
        const char* user;
        std::vector<GameInstall> found;
        std::optional<GameEdition> edition;
        const char* game;
        const char* problem;
    };
    const Case cases[] = {
        {"", found, std::nullopt, "cd", ""},
        {"", found, GameEdition::Remastered, "rm", ""},
        {"coll", found, std::nullopt, "coll/Homeworld2Classic", ""},
        {"coll", found, GameEdition::Remastered, "coll/HomeworldRM", ""},
        {"missing", found, std::nullopt, "cd",
            "The game folder ~/missing does not exist (user); the classic game at ~/cd (found by registry) is used"},
        {"nodata", {}, std::nullopt, "",
            "The game folder ~/nodata holds no Data folder (user); the built-in model names are used"},
        {"", classicOnly, GameEdition::Remastered, "",
            "No remastered game was found; the built-in model names are used"},
        {"", {}, std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        const QString user = *c.user ? root + '/' + c.user : QString();
        const GameSetup setup = chooseGame(user, "user", c.found, c.edition);
        EXPECT_EQ(QString(setup.game ? setup.game->folder : QString()).remove(root + '/') + u'|'
                + setup.problems.join(u'/').replace(root + '/', "~/"),
            QString::fromLatin1(c.game) + u'|' + QString::fromLatin1(c.problem))
            << c.user << " " << c.found.size();
    }
    EXPECT_EQ(
        chooseGame({}, {}, {}).statusText(), QStringLiteral("No game folder: the built-in model names are used."));
    EXPECT_EQ(chooseGame({}, {}, classicOnly).statusText(),
        "Model names from the classic game at " + root + "/cd (found by registry).");
}

// The settings of one test, counting what is written.
class CountingStore final : public SettingsStore {
public:
    std::map<QString, QString> values;
    int writes = 0;
    QString read(const QString& key, const QString& defaultValue) const override
    {
        const auto it = values.find(key);
        return it == values.end() ? defaultValue : it->second;
    }
    void write(const QString& key, const QString& value) override
    {
        values[key] = value;
        ++writes;
    }
};

TEST(GameDiscovery, TheModFoldersAreStoredOneALine)
{
    CountingStore store;
    storeModFolders(store, {"/mods/a", "/mods/b.big"});
    EXPECT_EQ(store.values[modFoldersKey], "/mods/a\n/mods/b.big");
    EXPECT_EQ(storedModFolders(store), QStringList({"/mods/a", "/mods/b.big"}));
    store.values[modFoldersKey] = "\n/mods/c\n\n";
    EXPECT_EQ(storedModFolders(store), QStringList{"/mods/c"}) << "empty lines are no folders";
}

TEST(GameDiscovery, TheModFoldersAreWrittenOnlyWhenTheyChange)
{
    CountingStore store;
    storeModFolders(store, {"/mods/a"});
    storeModFolders(store, {"/mods/a"});
    EXPECT_EQ(store.writes, 1);
}

// A store naming the game in `root`/cd and a mod folder that does not exist, on a machine whose
// STARLOOM_GAME_DIR holds no game.
struct StoredChoice {
    QTemporaryDir dir;
    QString root = QDir(dir.path()).canonicalPath();
    CountingStore store;
    FakeEnvironment env;
    StoredChoice()
    {
        makeEntry(root, "cd/Data/", true);
        store.values[gameFolderKey] = root + "/cd";
        store.values[modFoldersKey] = root + "/missing-mod";
        env.home = root + "/home";
        env.variables["STARLOOM_GAME_DIR"] = root + "/nothing";
    }
    GameRun run() const { return setUpGame(storedGameRequest(store, "the Preferences dialog"), env, FakeRegistry()); }
};

TEST(GameDiscovery, AGameRunUsesTheStoredChoice)
{
    const StoredChoice stored;
    const GameRun run = stored.run();
    EXPECT_EQ(run.setup.game ? run.setup.game->folder : QString(), stored.root + "/cd");
    EXPECT_EQ(run.setup.modFolders, QStringList{stored.root + "/missing-mod"});
    EXPECT_EQ(run.catalogue.sources().size(), 2u) << "the game's Data folder and the mod";
}

TEST(GameDiscovery, TheLookupsProblemsComeBeforeTheCatalogues)
{
    const StoredChoice stored;
    const QStringList problems = stored.run().setup.problems;
    ASSERT_EQ(problems.size(), 2) << problems.join(u'/').toStdString();
    EXPECT_TRUE(problems[0].endsWith("(STARLOOM_GAME_DIR)")) << problems[0].toStdString();
    EXPECT_TRUE(problems[1].contains(stored.root + "/missing-mod")) << problems[1].toStdString();
}

TEST(GameDiscovery, ARequestThatDoesNotLookUpFindsNoGame)
{
    FakeEnvironment env;
    env.variables["STARLOOM_GAME_DIR"] = "/nothing";
    GameRequest request;
    request.lookUp = false;
    const GameRun run = setUpGame(request, env, FakeRegistry());
    EXPECT_TRUE(run.found.empty());
    EXPECT_FALSE(run.setup.game.has_value());
    EXPECT_TRUE(run.setup.problems.isEmpty()) << run.setup.problems.join(u'/').toStdString();
}

} // namespace

namespace {

// Steam's files and Wine's registry as links to a device or to a FIFO without a writer: refused
// without waiting, and without reading past their limit; the lookup goes on with what is left.
TEST(GameDiscovery, SteamOrWineFilesThatAreNoRegularFilesAreRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    const QString fifo = root + "/fifo";
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString steam = root + "/home/.local/share/Steam";
    addCollection(steam);
    QDir().mkpath(root + "/home/.wine");
    for (const auto& [file, target] : {std::pair{steam + "/steamapps/libraryfolders.vdf", QStringLiteral("/dev/zero")},
             std::pair{root + "/home/.wine/system.reg", fifo}})
        ASSERT_TRUE(QFile::link(target, file));
    FakeEnvironment env;
    env.home = root + "/home";
    QStringList problems;
    EXPECT_EQ(findGames(env, FakeRegistry(), &problems).size(), 2u) << "Steam's folder itself holds the collection";
    EXPECT_EQ(problems,
        QStringList({QStringLiteral("Wine's registry file %1/home/.wine/system.reg is not read: it is a pipe (FIFO), "
                                    "not a file")
                         .arg(root),
            QStringLiteral("Steam's file %1/steamapps/libraryfolders.vdf is not read: it is a device, not a file")
                .arg(steam)}));

    for (const auto& [target, reason] : {std::pair{QStringLiteral("/dev/zero"), "it is a device, not a file"},
             std::pair{fifo, "it is a pipe (FIFO), not a file"}}) {
        QFile::remove(steam + "/steamapps/appmanifest_244160.acf");
        ASSERT_TRUE(QFile::link(target, steam + "/steamapps/appmanifest_244160.acf"));
        problems.clear();
        EXPECT_TRUE(findGames(env, FakeRegistry(), &problems).empty()) << target.toStdString();
        EXPECT_TRUE(problems.contains(
            QStringLiteral("Steam's file %1/steamapps/appmanifest_244160.acf is not read: %2").arg(steam, reason)))
            << problems.join('\n').toStdString();
    }
}

// A game's archive that is a link to a FIFO or a device is named with the reason, not waited for.
TEST(GameDiscovery, AnArchiveThatIsNoRegularFileIsNamedWithTheReason)
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    ASSERT_EQ(mkfifo(QFile::encodeName(root + "/fifo").constData(), 0600), 0);
    makeEntry(root, "rm/HomeworldRM/Data/", true);
    ASSERT_TRUE(QFile::link(root + "/fifo", root + "/rm/HomeworldRM/Data/A.big"));
    ASSERT_TRUE(QFile::link("/dev/zero", root + "/rm/HomeworldRM/Data/B.big"));
    const GameSetup setup = chooseGame(root + "/rm", "test", {}, GameEdition::Remastered);
    const Catalogue catalogue = catalogueFor(setup);
    const QString problems = catalogue.problems().join(u'\n');
    EXPECT_TRUE(
        problems.contains(root + "/rm/HomeworldRM/Data/A.big cannot be opened: it is a pipe (FIFO), not a file"))
        << problems.toStdString();
    EXPECT_TRUE(problems.contains(root + "/rm/HomeworldRM/Data/B.big cannot be opened: it is a device, not a file"))
        << problems.toStdString();
}

} // namespace
