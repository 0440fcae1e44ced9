#include "LevelTool.h"

#include "document/Catalogue.h"
#include "document/Level.h"
#include "document/SettingsRules.h"
#include "editing/Checks.h"
#include "editing/LevelEdits.h"
#include "gamedata/DataFileReader.h"
#include "gamedata/Environment.h"
#include "gamedata/GameSetup.h"
#include "gamedata/Registry.h"
#include "gamedata/SettingsStore.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"
#include "script/LevelScript.h"
#include "views/MapPainter.h"
#include "views/MapPainter3D.h"
#include "views/ViewScale.h"

#include <QBuffer>
#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
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
    "  check FILE [--all] [--min-start-distance UNITS] [--fair-share PERCENT]\n"
    "                      print the checks' findings for FILE: \"error:\" or \"warning:\", a\n"
    "                      code, the message and the items' keys; findings of one code are\n"
    "                      summed up in one line (\"572 items use models ...\"), --all prints\n"
    "                      each of them; the problems of the load come first, on standard\n"
    "                      error; start points closer than UNITS (default 8000), and players\n"
    "                      whose resources differ by more than PERCENT (default 10), are\n"
    "                      reported\n"
    "\n"
    "Options:\n"
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
    "distance the game cannot read, a script that stopped with an error, for where, no game\n"
    "found, or, for check, an error found);\n"
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
};

// A level loaded into a plain level (plainLevel), so that the output is reproducible. Problems go
// to standard error; nullopt when the file cannot be read. `script`: how the run went.
std::optional<Level> load(const QString& path, const Catalogue& catalogue, const LoadOptions& how, ToolOutput output,
    ScriptResult* script = nullptr)
{
    Level level = plainLevel();
    ModelLists models(catalogue);
    QString error;
    std::optional<ReadResult> result;
    if (how.runScript) {
        ScriptOptions options;
        options.readInclude = how.includes;
        if (auto read = runLevelFile(path, level, models, options, &error)) {
            if (read->script.randomCalls > 0)
                read->read.problems.push_back({0, randomLayoutMessage(read->script.randomCalls)});
            result = std::move(read->read);
            if (script)
                *script = read->script;
        }
    } else {
        result = loadLevel(path, level, models, &error);
    }
    if (!result) {
        print(output.err, QStringLiteral("starloom-level: %1\n").arg(error));
        return std::nullopt;
    }
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
    const auto loaded = load(in, catalogue, how, output, &script);
    if (!loaded)
        return 2;
    if (refusePartial(in, script, how, output))
        return 1;
    if (!hasAllPlayerStarts(loaded->document, loaded->settings)) {
        print(output.err, QStringLiteral("starloom-level: %1: %2\n").arg(in, missingStartsMessage()));
        return 1;
    }
    if (const QString error = levelSettingsError(loaded->settings); !error.isEmpty()) {
        print(output.err, QStringLiteral("starloom-level: %1: %2\n").arg(in, error));
        return 1;
    }
    const int players = loaded->settings.playerCount();
    if (const std::vector<int> beyond = startsBeyondPlayerCount(loaded->document, players); !beyond.empty()) {
        print(output.err,
            QStringLiteral("starloom-level: %1: the start points of %2 lie beyond the level's %3 players and "
                           "would not be saved; raise maxPlayers or remove them\n")
                .arg(in, playerNames(beyond))
                .arg(players));
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

// How `render` draws: the two views, or (--3d) the level in perspective.
struct RenderOptions {
    QSize size{900, 800};
    bool threeD = false;
    std::optional<Camera3D> camera; // yaw, pitch and distance; the target is found
};

QImage renderImage(const Level& level, const RenderOptions& options)
{
    if (options.threeD) {
        Scene3D scene;
        scene.document = &level.document;
        scene.rows = &level.rows;
        scene.world = worldSize(level.settings);
        const Camera3D framed = framedAll(
            options.camera.value_or(Camera3D{}), level.document, level.rows, scene.world, QSizeF(options.size));
        scene.camera = framed;
        if (options.camera)
            scene.camera.distance = options.camera->distance;
        return MapPainter3D().render(scene, options.size);
    }
    ViewSettings views;
    views.top = topScaleFor(level.settings);
    views.front = frontScaleFor(level.settings);
    const MapScene scene = sceneOf(level, views, QStringLiteral("2500"), worldSize(level.settings));
    const auto [topSize, frontSize] = viewSizesFor(options.size);
    return MapPainter().renderViews(scene, topSize, frontSize);
}

int render(const QString& in, const QString& outPath, const RenderOptions& options, const Catalogue& catalogue,
    const LoadOptions& how, ToolOutput output)
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
    const QImage image = renderImage(*loaded, options);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
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

// The editor's own choice of game folder (its Options window), stored for this user.
QString storedGameFolder()
{
    return QSettingsStore::ofProgram(QStringLiteral("starloom"))->read(gameFolderKey, QString());
}

int where(const QString& gameDir, ToolOutput output)
{
    std::vector<GameInstall> games;
    if (!gameDir.isEmpty())
        games = gamesInFolder(gameDir, QStringLiteral("--game-dir"));
    const QString stored = storedGameFolder();
    const std::vector<GameInstall> chosen = gamesInFolder(stored, QStringLiteral("the editor's Options window"));
    games.insert(games.end(), chosen.begin(), chosen.end());
    QStringList problems;
    const std::vector<GameInstall> found = findGames(SystemEnvironment(), SystemRegistry(), &problems);
    games.insert(games.end(), found.begin(), found.end());
    for (const GameInstall& g : games)
        print(output.out, QStringLiteral("%1\t%2\t%3\n").arg(editionName(g.edition), g.folder, g.foundBy));
    problems += chooseGame(gameDir.isEmpty() ? stored : gameDir,
        gameDir.isEmpty() ? QStringLiteral("the editor's Options window") : QStringLiteral("--game-dir"), found)
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
            findingLine({Severity::Error, QStringLiteral("script-stopped"), where + script.error, {}, {}})
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
    const bool error = stopped
        || std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.severity == Severity::Error; });
    return error ? 1 : 0;
}

int usageError(const QString& message, ToolOutput output)
{
    print(output.err, QStringLiteral("starloom-level: %1\n").arg(message));
    print(output.err, QStringLiteral("Try 'starloom-level --help'.\n"));
    return 2;
}

} // namespace

int runLevelTool(const QStringList& args, ToolOutput output)
{
    QString gameDir;
    QStringList dataDirs;
    std::optional<GameEdition> edition;
    LoadOptions how;
    QStringList rest;
    // --name VALUE or --name=VALUE; false when `a` is not the option.
    auto option = [&](qsizetype& i, QLatin1String name, QString* value, bool* missing) {
        const QString& a = args[i];
        if (a == name) {
            *missing = i + 1 >= args.size();
            if (!*missing)
                *value = args[++i];
            return true;
        }
        if (a.startsWith(name + QLatin1Char('='))) {
            *value = a.mid(name.size() + 1);
            return true;
        }
        return false;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            print(output.out, QString::fromLatin1(usageText));
            return 0;
        }
        if (a == QLatin1String("--version")) {
            print(output.out, programTitle() + QLatin1Char('\n'));
            return 0;
        }
        if (a == QLatin1String("--run-script")) {
            how.runScript = true;
            continue;
        }
        if (a == QLatin1String("--partial")) {
            how.partial = true;
            continue;
        }
        QString value;
        bool missing = false;
        if (option(i, QLatin1String("--game-dir"), &value, &missing)) {
            if (missing || value.isEmpty())
                return usageError(QStringLiteral("--game-dir needs a folder"), output);
            gameDir = value;
        } else if (option(i, QLatin1String("--data-dir"), &value, &missing)) {
            if (missing || value.isEmpty())
                return usageError(QStringLiteral("--data-dir needs a folder"), output);
            dataDirs << value;
        } else if (option(i, QLatin1String("--game"), &value, &missing)) {
            edition = editionFromName(value);
            if (!edition)
                return usageError(QStringLiteral("--game takes classic or remastered"), output);
        } else {
            rest << a;
        }
    }
    if (rest.isEmpty())
        return usageError(QStringLiteral("no command given"), output);
    if (how.partial && !how.runScript)
        return usageError(QStringLiteral("--partial goes with --run-script"), output);
    const QString command = rest.takeFirst();
    if (command == QLatin1String("where")) {
        if (!rest.isEmpty())
            return usageError(QStringLiteral("where takes no argument"), output);
        return where(gameDir, output);
    }
    static const QStringList commands = {QStringLiteral("stats"), QStringLiteral("rewrite"), QStringLiteral("render"),
        QStringLiteral("models"), QStringLiteral("check")};
    if (!commands.contains(command))
        return usageError(QStringLiteral("unknown command '%1'").arg(command), output);
    if (command == QLatin1String("models") && rest.size() != 1)
        return usageError(QStringLiteral("models takes one kind (Asteroid, Cloud, DustCloud, Megalith, Nebula, Pebble, "
                                         "Salvage, Ship or PlayerStart)"),
            output);

    // Without --game-dir or --game the built-in names (and the mods named) are used, so the
    // output does not depend on what is installed.
    GameSetup setup;
    if (!gameDir.isEmpty()) {
        setup = chooseGame(gameDir, QStringLiteral("--game-dir"), {}, edition, dataDirs);
    } else if (edition) {
        QStringList lookupProblems;
        const std::vector<GameInstall> found = findGames(SystemEnvironment(), SystemRegistry(), &lookupProblems);
        setup = chooseGame(storedGameFolder(), QStringLiteral("the editor's Options window"), found, edition, dataDirs);
        setup.problems = lookupProblems + setup.problems;
    } else {
        setup = chooseGame({}, {}, {}, std::nullopt, dataDirs);
    }
    const Catalogue catalogue = catalogueFor(setup);
    if (how.runScript)
        how.includes = dataFileReader(setup);
    QStringList problems = setup.problems;
    if (!catalogue.sources().empty())
        problems += catalogue.problems();
    for (const QString& problem : problems)
        print(output.err, QStringLiteral("starloom-level: %1\n").arg(problem));

    if (command == QLatin1String("models"))
        return models(rest[0], catalogue, output);
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
        // "--NAME NUMBER" (0 to `most`): nullopt when the option is absent, NaN when its number is
        // missing or wrong.
        auto numberOption = [&rest](const QString& name, double most) -> std::optional<double> {
            const qsizetype at = rest.indexOf(name);
            if (at < 0)
                return std::nullopt;
            bool ok = false;
            const double number = at + 1 < rest.size() ? rest[at + 1].toDouble(&ok) : 0;
            rest.remove(at, std::min<qsizetype>(2, rest.size() - at));
            return ok && std::isfinite(number) && number >= 0 && number <= most ? number : std::nan("");
        };
        for (const QLatin1String name : {QLatin1String("--min-start-distance"), QLatin1String("--fair-share")}) {
            if (rest.count(name) > 1)
                return usageError(QStringLiteral("%1 is given twice").arg(name), output);
        }
        if (const auto units = numberOption(QStringLiteral("--min-start-distance"), maxStartDistance)) {
            if (std::isnan(*units))
                return usageError(QStringLiteral("--min-start-distance takes a distance in units from 0 to %1, for "
                                                 "example 8000")
                                      .arg(maxStartDistance, 0, 'f', 0),
                    output);
            options.minStartDistance = *units;
        }
        if (const auto percent = numberOption(QStringLiteral("--fair-share"), maxFairShare)) {
            if (std::isnan(*percent))
                return usageError(
                    QStringLiteral("--fair-share takes a percentage from 0 to %1, for example 10").arg(maxFairShare),
                    output);
            options.fairShare = *percent / 100;
        }
        const bool all = rest.removeAll(QStringLiteral("--all")) > 0;
        if (rest.size() != 1)
            return usageError(QStringLiteral("check takes one file"), output);
        return check(rest[0], options, all, catalogue, how, output);
    }
    if (command == QLatin1String("render")) {
        RenderOptions options;
        for (const QLatin1String name : {QLatin1String("--size"), QLatin1String("--3d"), QLatin1String("--camera")}) {
            if (rest.count(name) > 1)
                return usageError(QStringLiteral("%1 is given twice").arg(name), output);
        }
        const qsizetype sizeAt = rest.indexOf(QStringLiteral("--size"));
        if (sizeAt >= 0) {
            const QStringList wh = sizeAt + 1 < rest.size() ? rest[sizeAt + 1].split(QLatin1Char('x')) : QStringList();
            bool okW = false;
            bool okH = false;
            const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
            const int h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
            if (!okW || !okH || w < 16 || h < 32 || w > maxImageSide || h > maxImageSide)
                return usageError(QStringLiteral("--size takes WIDTHxHEIGHT from 16x32 to %1x%1, for example 1600x1000")
                                      .arg(maxImageSide),
                    output);
            options.size = QSize(w, h);
            rest.remove(sizeAt, 2);
        }
        if (const qsizetype at = rest.indexOf(QStringLiteral("--3d")); at >= 0) {
            options.threeD = true;
            rest.remove(at);
        }
        if (const qsizetype at = rest.indexOf(QStringLiteral("--camera")); at >= 0) {
            const QStringList parts = at + 1 < rest.size() ? rest[at + 1].split(QLatin1Char(',')) : QStringList();
            std::array<double, 3> v{};
            bool ok = options.threeD && parts.size() == 3;
            for (qsizetype i = 0; ok && i < 3; ++i) {
                v[std::size_t(i)] = parts[i].trimmed().toDouble(&ok);
                ok = ok && std::isfinite(v[std::size_t(i)]);
            }
            if (!ok || v[1] < -90 || v[1] > 90 || !(v[2] >= Camera3D::minDistance) || v[2] > Camera3D::maxDistance)
                return usageError(
                    QStringLiteral("--camera goes with --3d and takes YAW,PITCH,DISTANCE: degrees, the pitch "
                                   "from -90 to 90, and a distance from %1 to %2, for example 30,40,90000")
                        .arg(Camera3D::minDistance, 0, 'f', 0)
                        .arg(Camera3D::maxDistance, 0, 'f', 0),
                    output);
            options.camera = Camera3D{.target = {}, .yaw = v[0], .pitch = v[1], .distance = v[2]};
            rest.remove(at, 2);
        }
        if (rest.size() != 2)
            return usageError(QStringLiteral("render takes an input file and an output image"), output);
        return render(rest[0], rest[1], options, catalogue, how, output);
    }
    return usageError(QStringLiteral("unknown command '%1'").arg(command), output);
}

} // namespace starloom
