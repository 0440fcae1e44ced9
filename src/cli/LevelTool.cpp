#include "LevelTool.h"

#include "document/Catalogue.h"
#include "document/Level.h"
#include "document/SettingsRules.h"
#include "editing/Checks.h"
#include "editing/LevelEdits.h"
#include "gamedata/DataFileReader.h"
#include "gamedata/Environment.h"
#include "gamedata/GameMaps.h"
#include "gamedata/GameSetup.h"
#include "gamedata/Registry.h"
#include "gamedata/SettingsStore.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"
#include "script/LevelScript.h"

#include <QBuffer>
#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

namespace starloom {

namespace {

// The largest side of an image `render` draws: 8192 pixels (a 256 MB image at the most).
constexpr int maxImageSide = 8192;
// The largest values check takes: farther than any world reaches, richer than any share.
constexpr double maxStartDistance = 1e9;
constexpr double maxFairShare = 1000;

const char* usageText =
    "Usage: starloom-level [--game-dir DIR] [--game classic|remastered] [--data-dir DIR]... COMMAND ...\n"
    "\n"
    "Commands:\n"
    "  stats FILE          load FILE into an empty level and print the number of live items of\n"
    "                      each kind; problems found in the file go to standard error\n"
    "  rewrite IN OUT      load IN into an empty level and save it to OUT in the editor's format\n"
    "  render IN OUT.png [--size WxH] [--3d [--camera YAW,PITCH,DISTANCE]]\n"
    "                      draw the level's top and front views into a PNG image; with --3d\n"
    "                      the level in perspective, framing every item, or seen from the\n"
    "                      camera given (degrees, world units) around the items' centre\n"
    "  models KIND         print the model list of KIND (Asteroid, Cloud, ..., Ship) one name a\n"
    "                      line; where the names came from goes to standard error\n"
    "  where               print the games found on this machine (edition, folder, how found)\n"
    "  maps                print the game's multiplayer maps, one a line, four fields separated\n"
    "                      by tabs: the map's data: name, its player count (maxPlayers, \"-\"\n"
    "                      when it sets none), its description (levelDesc) and the folder or\n"
    "                      archive it comes from; loose files first, then the archives, as the\n"
    "                      game finds them; a map whose script stops is listed with what it\n"
    "                      set, and the reason goes to standard error\n"
    "  check FILE [--all] [--min-start-distance UNITS] [--fair-share PERCENT]\n"
    "                      print the checks' findings for FILE: \"error:\" or \"warning:\", a\n"
    "                      code, the message and the items' keys; findings of one code are\n"
    "                      summed up in one line (\"572 items use models ...\"), --all prints\n"
    "                      each of them; the problems of the load come first, on standard\n"
    "                      error; start points closer than UNITS (default 8000), and players\n"
    "                      whose resources differ by more than PERCENT (default 10), are\n"
    "                      reported\n"
    "\n"
    "A FILE (or IN) may be a map of the game's data, named as the game names it\n"
    "(data:LevelData/Multiplayer/...): it is read from the game's loose Data folder, the mods'\n"
    "folders and the archives, in the order the game looks. maps, and a data: name, use the\n"
    "game of --game-dir or --game, else the one the editor's Preferences dialog names, else the\n"
    "first one found on this machine.\n"
    "\n"
    "Options:\n"
    "  Options go anywhere among the arguments, each once (--data-dir as often as needed); a\n"
    "  value follows its option after a space or an \"=\" (--size 1600x1000, --size=1600x1000).\n"
    "  --game-dir DIR      read model names from the game installed in DIR: its Data folder,\n"
    "                      then its .big archives (otherwise the built-in names are used)\n"
    "  --game EDITION      use the classic or the remastered game found on this machine (of a\n"
    "                      folder that holds both, the classic one is used without this)\n"
    "  --data-dir DIR      also read a mod's data folder (or .big archive), after the game's\n"
    "                      Data folder and before its archives, for model names and for the\n"
    "                      files a script includes; may be given more than once\n"
    "  --run-script        stats, rewrite, render, check: open FILE by running its script in a\n"
    "                      sandbox (loops, helper functions, random placement), not by\n"
    "                      reading its literal calls\n"
    "  --partial           with --run-script, rewrite and render write what a script that\n"
    "                      stopped with an error built until then (otherwise nothing)\n"
    "  --help              show this text\n"
    "  --version           show the program's version\n"
    "\n"
    "Exit codes: 0 done; 1 refused (a level without all start points, a world size or camera\n"
    "distance the game cannot read, a script that stopped with an error, for rewrite, items\n"
    "the level cannot hold, for where, no game found, for maps, no game in use, or, for check,\n"
    "an error found);\n"
    "2 bad usage or a file that cannot be read or written (an output file that is read-only is\n"
    "not replaced).\n";

void print(std::FILE* f, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), f);
}

// How the tool reads a level: its literal calls, or (--run-script) by running its script.
struct LoadOptions {
    bool runScript = false;
    bool partial = false; // --partial: what a script that stopped built is written
    DataFileReader includes;
    DataFileReader data;    // reads a level named "data:..." from the game's data
    bool gameInUse = false; // a game's data folder or archives, or a mod, is read
};

// The bytes of the level `path` names in the game's data; nullopt with the reason in `error`.
std::optional<QByteArray> readDataLevel(const QString& path, const LoadOptions& how, QString* error)
{
    QString why;
    std::optional<QByteArray> bytes = how.data ? how.data(path, maxReadableFileBytes, &why) : std::nullopt;
    if (bytes)
        return bytes;
    if (!why.isEmpty())
        *error = QStringLiteral("Cannot open %1: %2").arg(path, why);
    else if (!how.gameInUse)
        *error =
            QStringLiteral("Cannot open %1: no game is in use to read it from (give --game-dir or --game)").arg(path);
    else
        *error = QStringLiteral("Cannot open %1: there is no such file in the game's data").arg(path);
    return std::nullopt;
}

// A level loaded into a plain level (plainLevel), so that the output is reproducible. Problems go
// to standard error; nullopt when the file cannot be read. `script`: how the run went;
// `itemsLeftOut`: the items of the file the level could not hold.
std::optional<Level> load(const QString& path, const Catalogue& catalogue, const LoadOptions& how, ToolOutput output,
    ScriptResult* script = nullptr, int* itemsLeftOut = nullptr)
{
    Level level = plainLevel();
    ModelLists models(catalogue);
    QString error;
    std::optional<ReadResult> result;
    std::optional<QByteArray> dataBytes;
    if (isDataPath(path)) {
        dataBytes = readDataLevel(path, how, &error);
        if (!dataBytes) {
            print(output.err, QStringLiteral("starloom-level: %1\n").arg(error));
            return std::nullopt;
        }
    }
    if (how.runScript) {
        ScriptOptions options;
        options.readInclude = how.includes;
        std::optional<ScriptRead> run;
        if (dataBytes)
            run = buildRecordedScript(recordLevelScript(*dataBytes, path, options), level, models);
        else
            run = runLevelFile(path, level, models, options, &error);
        if (auto& read = run) {
            if (read->script.randomCalls > 0)
                read->read.problems.push_back({0, randomLayoutMessage(read->script.randomCalls)});
            result = std::move(read->read);
            if (script)
                *script = read->script;
        }
    } else if (dataBytes) {
        QBuffer buffer(&*dataBytes);
        buffer.open(QIODevice::ReadOnly);
        result = readLevel(buffer, level, models);
    } else {
        result = loadLevel(path, level, models, &error);
    }
    if (!result) {
        print(output.err, QStringLiteral("starloom-level: %1\n").arg(error));
        return std::nullopt;
    }
    if (itemsLeftOut)
        *itemsLeftOut = result->itemsLeftOut;
    for (const ReadProblem& p : result->problems) {
        const QString where =
            p.line > 0 ? QStringLiteral("%1:%2: ").arg(path).arg(p.line) : path + QStringLiteral(": ");
        print(output.err, where + p.reason + QLatin1Char('\n'));
    }
    return level;
}

// A script that stopped with an error still has its counts printed, of what it built until then,
// but the run is no success (exit 1).
int stats(const QString& path, const Catalogue& catalogue, const LoadOptions& how, ToolOutput output)
{
    ScriptResult script;
    const auto loaded = load(path, catalogue, how, output, &script);
    if (!loaded)
        return 2;
    for (ItemKind kind : allKinds)
        print(output.out,
            QStringLiteral("%1 %2\n").arg(QLatin1String(kindInfo(kind).name)).arg(loaded->document.liveCount(kind)));
    if (!how.runScript || script.ok || script.error.isEmpty())
        return 0;
    const QString where = script.errorLine > 0 ? QStringLiteral(" at line %1").arg(script.errorLine) : QString();
    print(output.err,
        QStringLiteral("starloom-level: %1: the script stopped%2; the counts are of what it built until then\n")
            .arg(path, where));
    return 1;
}

// A script that stopped with an error built part of the level: nothing is written (true) unless
// --partial asks for that part, which is then said.
bool refusePartial(const QString& in, const ScriptResult& script, const LoadOptions& how, ToolOutput output)
{
    if (!how.runScript || script.ok || script.error.isEmpty())
        return false;
    const QString where = script.errorLine > 0 ? QStringLiteral(" at line %1").arg(script.errorLine) : QString();
    if (how.partial) {
        print(output.err,
            QStringLiteral(
                "starloom-level: %1: the script stopped%2; what it built until then is written (--partial)\n")
                .arg(in, where));
        return false;
    }
    print(output.err,
        QStringLiteral("starloom-level: %1: the script stopped%2; nothing is written (--partial writes what it built "
                       "until then)\n")
            .arg(in, where));
    return true;
}

int rewrite(
    const QString& in, const QString& outPath, const Catalogue& catalogue, const LoadOptions& how, ToolOutput output)
{
    ScriptResult script;
    int leftOut = 0;
    const auto loaded = load(in, catalogue, how, output, &script, &leftOut);
    if (!loaded)
        return 2;
    if (refusePartial(in, script, how, output))
        return 1;
    // A rewrite keeps everything the file places, or writes nothing.
    if (leftOut > 0) {
        print(output.err,
            QStringLiteral("starloom-level: %1: %2 of its items cannot be kept (named above); nothing is written\n")
                .arg(in)
                .arg(leftOut));
        return 1;
    }
    const SaveBlockers blockers = saveBlockers(*loaded);
    if (!blockers.refusal.isEmpty()) {
        print(output.err, QStringLiteral("starloom-level: %1: %2\n").arg(in, blockers.refusal));
        return 1;
    }
    if (!blockers.startsLeftOut.empty()) {
        print(output.err,
            QStringLiteral("starloom-level: %1: %2; raise maxPlayers or remove them\n")
                .arg(in, blockers.leftOutMessage));
        return 1;
    }
    ModelLists models(catalogue);
    const QString error = saveLevel(outPath, *loaded, models);
    if (!error.isEmpty()) {
        print(output.err, QStringLiteral("starloom-level: cannot write %1: %2\n").arg(outPath, error));
        return 2;
    }
    return 0;
}

int render(const QString& in, const QString& outPath, const RenderOptions& options, LevelRenderer renderer,
    const Catalogue& catalogue, const LoadOptions& how, ToolOutput output)
{
    const QFileInfo input(in);
    const QFileInfo target(outPath);
    if (input.exists() && (input.canonicalFilePath() == target.canonicalFilePath() || input == target)) {
        print(output.err,
            QStringLiteral("starloom-level: %1 is the level itself; name another file for the image\n").arg(outPath));
        return 2;
    }
    ScriptResult script;
    const auto loaded = load(in, catalogue, how, output, &script);
    if (!loaded)
        return 2;
    if (refusePartial(in, script, how, output))
        return 1;
    const QByteArray png = renderer ? renderer(*loaded, options) : QByteArray();
    if (png.isEmpty()) {
        print(output.err, QStringLiteral("starloom-level: cannot make the image for %1\n").arg(outPath));
        return 2;
    }
    if (const QString error = saveFileAtomically(outPath, png); !error.isEmpty()) {
        print(output.err, QStringLiteral("starloom-level: cannot write %1: %2\n").arg(outPath, error));
        return 2;
    }
    return 0;
}

int models(const QString& kindName, const Catalogue& catalogue, ToolOutput output)
{
    for (ItemKind kind : allKinds) {
        if (kindName.compare(QLatin1String(kindInfo(kind).name), Qt::CaseInsensitive) != 0)
            continue;
        const ModelListReport report = catalogue.report(kind, playerSlots - 2);
        for (const QString& name : report.names)
            print(output.out, name + QLatin1Char('\n'));
        QStringList from;
        if (kind == ItemKind::PlayerStart)
            from << QStringLiteral("one entry per player");
        else if (report.builtIn)
            from << QStringLiteral("the %1 built-in names").arg(builtInModels(kind).size());
        for (const ModelOrigin& origin : report.origins)
            from << QStringLiteral("%1 from %2").arg(origin.names).arg(origin.source);
        if (report.dropped > 0)
            from << QStringLiteral("%1 left out past the %2 the editor can number")
                        .arg(report.dropped)
                        .arg(maxModelEntries);
        if (kindInfo(kind).hasCustom)
            from << QStringLiteral("\"Custom\" last");
        print(output.err,
            QStringLiteral("%1: %2\n").arg(QLatin1String(kindInfo(kind).name), from.join(QStringLiteral(", "))));
        return 0;
    }
    print(output.err, QStringLiteral("starloom-level: unknown kind '%1'\n").arg(kindName));
    return 2;
}

// The editor's own choice of game folder (its Preferences dialog), stored for this user.
QString storedGameFolder()
{
    return QSettingsStore::ofProgram(QStringLiteral("starloom"))->read(gameFolderKey, QString());
}

QString orDash(int players)
{
    return players > 0 ? QString::number(players) : QStringLiteral("-");
}

// One line a map: path, players, description, source, separated by tabs (a tab or line break in
// the description becomes a space).
int maps(const GameSetup& setup, ToolOutput output)
{
    if (setup.dataFolders().isEmpty() && setup.archives().isEmpty()) {
        print(output.err,
            QStringLiteral("starloom-level: no game is in use to list the maps of (give --game-dir or "
                           "--game)\n"));
        return 1;
    }
    const GameMapList list = listGameMaps(setup);
    for (const GameMap& m : list.maps) {
        QString description = m.description;
        description.replace(QLatin1Char('\t'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
        print(output.out, QStringLiteral("%1\t%2\t%3\t%4\n").arg(m.path, orDash(m.players), description, m.source));
    }
    for (const GameMap& m : list.maps) {
        if (!m.problem.isEmpty())
            print(output.err, QStringLiteral("starloom-level: %1: %2\n").arg(m.path, m.problem));
    }
    for (const QString& problem : list.problems)
        print(output.err, QStringLiteral("starloom-level: %1\n").arg(problem));
    return 0;
}

int where(const QString& gameDir, ToolOutput output)
{
    std::vector<GameInstall> games;
    if (!gameDir.isEmpty())
        games = gamesInFolder(gameDir, QStringLiteral("--game-dir"));
    const QString stored = storedGameFolder();
    const std::vector<GameInstall> chosen = gamesInFolder(stored, QStringLiteral("the editor's Preferences dialog"));
    games.insert(games.end(), chosen.begin(), chosen.end());
    QStringList problems;
    const std::vector<GameInstall> found = findGames(SystemEnvironment(), SystemRegistry(), &problems);
    games.insert(games.end(), found.begin(), found.end());
    for (const GameInstall& g : games)
        print(output.out, QStringLiteral("%1\t%2\t%3\n").arg(editionName(g.edition), g.folder, g.foundBy));
    problems += chooseGame(gameDir.isEmpty() ? stored : gameDir,
        gameDir.isEmpty() ? QStringLiteral("the editor's Preferences dialog") : QStringLiteral("--game-dir"), found)
                    .problems;
    for (const QString& problem : problems)
        print(output.err, QStringLiteral("starloom-level: %1\n").arg(problem));
    if (games.empty()) {
        print(output.err, QStringLiteral("starloom-level: no game was found\n"));
        return 1;
    }
    return 0;
}

// The findings one line per code, or (`all`) one line each.
int check(const QString& path, const CheckOptions& options, bool all, const Catalogue& catalogue,
    const LoadOptions& how, ToolOutput output)
{
    ScriptResult script;
    const std::optional<Level> level = load(path, catalogue, how, output, &script);
    if (!level)
        return 2;
    ModelLists models(catalogue);
    // A script that stopped built only part of the level: that comes first, as an error.
    const bool stopped = how.runScript && !script.ok && !script.error.isEmpty();
    if (stopped) {
        const QString where = script.errorLine > 0 ? QStringLiteral("line %1: ").arg(script.errorLine) : QString();
        print(output.out,
            findingLine({Severity::Error, QStringLiteral("script-stopped"), where + script.error, {}, {}, {}})
                + QLatin1Char('\n'));
    }
    const std::vector<Finding> findings = checkLevel(*level, options, &models);
    if (all) {
        for (const Finding& finding : findings)
            print(output.out, findingLine(finding) + QLatin1Char('\n'));
    } else {
        for (const FindingGroup& group : groupFindings(findings))
            print(output.out, groupLine(group, findings) + QLatin1Char('\n'));
    }
    const bool error = stopped || std::any_of(findings.begin(), findings.end(), [](const Finding& f) {
        return f.severity == Severity::Error;
    });
    return error ? 1 : 0;
}

int usageError(const QString& message, ToolOutput output)
{
    print(output.err, QStringLiteral("starloom-level: %1\n").arg(message));
    print(output.err, QStringLiteral("Try 'starloom-level --help'.\n"));
    return 2;
}

// The options that belong to one command, and their command.
constexpr std::pair<const char*, const char*> commandOptions[] = {
    {"all", "check"},
    {"min-start-distance", "check"},
    {"fair-share", "check"},
    {"size", "render"},
    {"3d", "render"},
    {"camera", "render"},
};

// The options that take no value.
constexpr const char* flagOptions[] = {"help", "version", "run-script", "partial", "all", "3d"};

// Every option of the tool. Options are read anywhere among the arguments, their values as
// "--name VALUE" or "--name=VALUE".
void addToolOptions(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const char* name : flagOptions) {
        if (std::strcmp(name, "help") != 0)
            parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    }
    const std::pair<const char*, const char*> valued[] = {
        {"game-dir", "DIR"},
        {"game", "EDITION"},
        {"data-dir", "DIR"},
        {"min-start-distance", "UNITS"},
        {"fair-share", "PERCENT"},
        {"size", "WxH"},
        {"camera", "YAW,PITCH,DISTANCE"},
    };
    for (const auto& [name, valueName] : valued)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QString::fromLatin1(valueName)));
}

// What keeps the options from being read, as a usage error; empty when nothing does. An option
// that ends the arguments without its value is not one: its own check says what it takes.
QString optionsError(const QCommandLineParser& parser, bool parsed, const QStringList& args)
{
    if (!parsed) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().constFirst();
            return QStringLiteral("unknown option '%1%2'").arg(QLatin1String(name.size() == 1 ? "-" : "--"), name);
        }
        for (const QString& a : args) {
            const QString name = a.section(QLatin1Char('='), 0, 0);
            for (const char* flag : flagOptions) {
                if (a.contains(QLatin1Char('=')) && name == QLatin1String("--") + QLatin1String(flag))
                    return QStringLiteral("%1 takes no value").arg(name);
            }
        }
    }
    // --data-dir may be given more than once, every other option once.
    const QStringList given = parser.optionNames();
    for (const QString& name : given) {
        if (name != QLatin1String("data-dir") && given.count(name) > 1)
            return QStringLiteral("--%1 is given twice").arg(name);
    }
    return {};
}

} // namespace

int runLevelTool(const QStringList& args, ToolOutput output, LevelRenderer renderer)
{
    QCommandLineParser parser;
    addToolOptions(parser);
    const bool parsed = parser.parse(QStringList{QStringLiteral("starloom-level")} + args);
    if (parser.isSet(QStringLiteral("help"))) {
        print(output.out, QString::fromLatin1(usageText));
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        print(output.out, programTitle() + QLatin1Char('\n'));
        return 0;
    }
    if (const QString error = optionsError(parser, parsed, args); !error.isEmpty())
        return usageError(error, output);
    const auto isSet = [&parser](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    // The value of an option given once; empty when it ends the arguments without one.
    const auto value = [&parser](const char* name) { return parser.value(QString::fromLatin1(name)); };

    LoadOptions how;
    how.runScript = isSet("run-script");
    how.partial = isSet("partial");
    const QString gameDir = value("game-dir");
    if (isSet("game-dir") && gameDir.isEmpty())
        return usageError(QStringLiteral("--game-dir needs a folder"), output);
    const QStringList dataDirs = parser.values(QStringLiteral("data-dir"));
    if (isSet("data-dir") && (dataDirs.isEmpty() || dataDirs.contains(QString())))
        return usageError(QStringLiteral("--data-dir needs a folder"), output);
    std::optional<GameEdition> edition;
    if (isSet("game")) {
        edition = editionFromName(value("game"));
        if (!edition)
            return usageError(QStringLiteral("--game takes classic or remastered"), output);
    }
    QStringList rest = parser.positionalArguments();
    if (rest.isEmpty())
        return usageError(QStringLiteral("no command given"), output);
    if (how.partial && !how.runScript)
        return usageError(QStringLiteral("--partial goes with --run-script"), output);
    const QString command = rest.takeFirst();
    static const QStringList commands = {QStringLiteral("stats"), QStringLiteral("rewrite"), QStringLiteral("render"),
        QStringLiteral("models"), QStringLiteral("check"), QStringLiteral("where"), QStringLiteral("maps")};
    if (!commands.contains(command))
        return usageError(QStringLiteral("unknown command '%1'").arg(command), output);
    for (const auto& [name, owner] : commandOptions) {
        if (isSet(name) && command != QLatin1String(owner))
            return usageError(
                QStringLiteral("--%1 goes with %2").arg(QLatin1String(name), QLatin1String(owner)), output);
    }
    if (command == QLatin1String("where")) {
        if (!rest.isEmpty())
            return usageError(QStringLiteral("where takes no argument"), output);
        return where(gameDir, output);
    }
    if (command == QLatin1String("maps") && !rest.isEmpty())
        return usageError(QStringLiteral("maps takes no argument"), output);
    if (command == QLatin1String("rewrite") && rest.size() == 2 && isDataPath(rest[1]))
        return usageError(QStringLiteral("rewrite writes to a file, not into the game's data"), output);
    if (command == QLatin1String("render") && rest.size() == 2 && isDataPath(rest[1]))
        return usageError(QStringLiteral("render writes to a file, not into the game's data"), output);
    const bool readsGameData = command == QLatin1String("maps")
        || (command != QLatin1String("models") && !rest.isEmpty() && isDataPath(rest[0]));
    if (command == QLatin1String("models") && rest.size() != 1)
        return usageError(QStringLiteral("models takes one kind (Asteroid, Cloud, DustCloud, Megalith, Nebula, Pebble, "
                                         "Salvage, Ship or PlayerStart)"),
            output);

    // Without --game-dir or --game the built-in names (and the mods named) are used, so the
    // output does not depend on what is installed.
    GameRequest request;
    request.edition = edition;
    request.modFolders = dataDirs;
    if (!gameDir.isEmpty()) {
        request.folder = gameDir;
        request.how = QStringLiteral("--game-dir");
    } else if (edition || readsGameData) {
        request.folder = storedGameFolder();
        request.how = QStringLiteral("the editor's Preferences dialog");
        request.lookUp = true;
    }
    const GameRun game = setUpGame(request, SystemEnvironment(), SystemRegistry());
    const Catalogue& catalogue = game.catalogue;
    if (how.runScript)
        how.includes = dataFileReader(game.setup);
    if (readsGameData && command != QLatin1String("maps")) {
        how.data = how.includes ? how.includes : dataFileReader(game.setup);
        how.gameInUse = !game.setup.dataFolders().isEmpty() || !game.setup.archives().isEmpty();
    }
    for (const QString& problem : game.setup.problems)
        print(output.err, QStringLiteral("starloom-level: %1\n").arg(problem));

    if (command == QLatin1String("models"))
        return models(rest[0], catalogue, output);
    if (command == QLatin1String("maps"))
        return maps(game.setup, output);
    if (command == QLatin1String("stats")) {
        if (rest.size() != 1)
            return usageError(QStringLiteral("stats takes one file"), output);
        return stats(rest[0], catalogue, how, output);
    }
    if (command == QLatin1String("rewrite")) {
        if (rest.size() != 2)
            return usageError(QStringLiteral("rewrite takes an input and an output file"), output);
        return rewrite(rest[0], rest[1], catalogue, how, output);
    }
    if (command == QLatin1String("check")) {
        CheckOptions options;
        // A number from 0 to `most`; NaN when it is missing or wrong.
        const auto number = [](const QString& text, double most) {
            bool ok = false;
            const double n = text.toDouble(&ok);
            return ok && std::isfinite(n) && n >= 0 && n <= most ? n : std::nan("");
        };
        if (isSet("min-start-distance")) {
            const double units = number(value("min-start-distance"), maxStartDistance);
            if (std::isnan(units))
                return usageError(QStringLiteral("--min-start-distance takes a distance in units from 0 to %1, for "
                                                 "example 8000")
                                      .arg(maxStartDistance, 0, 'f', 0),
                    output);
            options.minStartDistance = units;
        }
        if (isSet("fair-share")) {
            const double percent = number(value("fair-share"), maxFairShare);
            if (std::isnan(percent))
                return usageError(
                    QStringLiteral("--fair-share takes a percentage from 0 to %1, for example 10").arg(maxFairShare),
                    output);
            options.fairShare = percent / 100;
        }
        if (rest.size() != 1)
            return usageError(QStringLiteral("check takes one file"), output);
        return check(rest[0], options, isSet("all"), catalogue, how, output);
    }
    // render
    RenderOptions options;
    if (isSet("size")) {
        const QStringList wh = value("size").split(QLatin1Char('x'));
        bool okW = false;
        bool okH = false;
        const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
        const int h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
        if (!okW || !okH || w < 16 || h < 32 || w > maxImageSide || h > maxImageSide)
            return usageError(QStringLiteral("--size takes WIDTHxHEIGHT from 16x32 to %1x%1, for example 1600x1000")
                                  .arg(maxImageSide),
                output);
        options.size = QSize(w, h);
    }
    options.threeD = isSet("3d");
    if (isSet("camera")) {
        const QStringList parts = value("camera").split(QLatin1Char(','));
        std::array<double, 3> v{};
        bool ok = options.threeD && parts.size() == 3;
        for (qsizetype i = 0; ok && i < 3; ++i) {
            v[std::size_t(i)] = parts[i].trimmed().toDouble(&ok);
            ok = ok && std::isfinite(v[std::size_t(i)]);
        }
        if (!ok || v[1] < -90 || v[1] > 90 || !(v[2] >= Camera3D::minDistance) || v[2] > Camera3D::maxDistance)
            return usageError(QStringLiteral("--camera goes with --3d and takes YAW,PITCH,DISTANCE: degrees, the pitch "
                                             "from -90 to 90, and a distance from %1 to %2, for example 30,40,90000")
                                  .arg(Camera3D::minDistance, 0, 'f', 0)
                                  .arg(Camera3D::maxDistance, 0, 'f', 0),
                output);
        options.camera = Camera3D{.target = {}, .yaw = v[0], .pitch = v[1], .distance = v[2]};
    }
    if (rest.size() != 2)
        return usageError(QStringLiteral("render takes an input file and an output image"), output);
    return render(rest[0], rest[1], options, renderer, catalogue, how, output);
}

} // namespace starloom
