#include "LevelTool.h"

#include "document/Catalogue.h"
#include "document/LevelDocument.h"
#include "document/MapSettings.h"
#include "document/SettingsRules.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"
#include "views/MapPainter.h"
#include "views/ViewScale.h"

#include <QBuffer>
#include <QByteArray>
#include <QFileInfo>

#include <array>

namespace starloom {

namespace {

const char* usageText =
    "Usage: starloom-level [--game-dir DIR] COMMAND ...\n"
    "\n"
    "Commands:\n"
    "  stats FILE          load FILE into an empty level and print the number of live items of\n"
    "                      each kind; problems found in the file go to standard error\n"
    "  rewrite IN OUT      load IN into an empty level and save it to OUT in the editor's format\n"
    "  render IN OUT.png [--size WxH]\n"
    "                      draw the level's top and front views into a PNG image\n"
    "\n"
    "Options:\n"
    "  --game-dir DIR      read model names from the game installed in DIR (otherwise the\n"
    "                      built-in names are used)\n"
    "  --help              show this text\n"
    "  --version           show the program's version\n"
    "\n"
    "Exit codes: 0 done; 1 refused (a level without all start points, or a world size or camera\n"
    "distance the game cannot read); 2 bad usage or a file that cannot be read or written (an\n"
    "output file that is read-only is not replaced).\n";

void print(std::FILE* f, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), f);
}

// Lists the items the reader registers, in file order, as the editor's object list does.
class RowSink : public ItemSink {
public:
    void itemRead(ItemKind kind, std::int16_t arrayId, const QString& text, std::int32_t, std::int32_t) override
    {
        rows.push_back({text, kind, arrayId});
    }
    std::vector<ObjectRow> rows;
};

struct Loaded {
    LevelDocument document;
    MapSettings settings;
    ReadResult result;
    std::vector<ObjectRow> rows;
};

// A fresh level as the tool starts it: the first background and music, so output is reproducible.
std::optional<Loaded> load(const QString& path, const Catalogue& catalogue, ToolOutput output)
{
    Loaded loaded;
    loaded.document.setPlayerColours();
    loaded.settings.background = backgroundEntries().first();
    loaded.settings.music = musicEntries().first();
    ModelLists models(catalogue);
    QString error;
    RowSink sink;
    auto result = readLevelFile(path, loaded.document, loaded.settings, models, &sink, &error);
    if (!result) {
        print(output.err, QStringLiteral("starloom-level: %1\n").arg(error));
        return std::nullopt;
    }
    loaded.result = std::move(*result);
    loaded.rows = std::move(sink.rows);
    for (const ReadProblem& p : loaded.result.problems) {
        const QString where = p.line > 0 ? QStringLiteral("%1:%2: ").arg(path).arg(p.line) : path + QStringLiteral(": ");
        print(output.err, where + p.reason + QLatin1Char('\n'));
    }
    return loaded;
}

int stats(const QString& path, const Catalogue& catalogue, ToolOutput output)
{
    const auto loaded = load(path, catalogue, output);
    if (!loaded)
        return 2;
    for (ItemKind kind : allKinds)
        print(output.out, QStringLiteral("%1 %2\n").arg(QLatin1String(kindInfo(kind).name)).arg(loaded->document.liveCount(kind)));
    return 0;
}

int rewrite(const QString& in, const QString& outPath, const Catalogue& catalogue, ToolOutput output)
{
    const auto loaded = load(in, catalogue, output);
    if (!loaded)
        return 2;
    if (!hasAllPlayerStarts(loaded->document, loaded->settings)) {
        print(output.err, QStringLiteral("starloom-level: %1: %2\n").arg(in, missingStartsMessage()));
        return 1;
    }
    if (const QString error = levelSettingsError(loaded->settings); !error.isEmpty()) {
        print(output.err, QStringLiteral("starloom-level: %1: %2\n").arg(in, error));
        return 1;
    }
    ModelLists models(catalogue);
    const QByteArray bytes = writeLevel(loaded->document, loaded->settings, models);
    const QString error = saveFileAtomically(outPath, bytes);
    if (!error.isEmpty()) {
        print(output.err, QStringLiteral("starloom-level: cannot write %1: %2\n").arg(outPath, error));
        return 2;
    }
    return 0;
}

int render(const QString& in, const QString& outPath, QSize size, const Catalogue& catalogue, ToolOutput output)
{
    const auto loaded = load(in, catalogue, output);
    if (!loaded)
        return 2;
    MapScene scene;
    scene.document = &loaded->document;
    scene.rows = &loaded->rows;
    scene.world = worldSize(loaded->settings);
    scene.top = topScaleFor(loaded->settings);
    scene.front = frontScaleFor(loaded->settings);
    const auto [topSize, frontSize] = viewSizesFor(size);
    const MapPainter painter;
    const QImage image = painter.renderViews(scene, topSize, frontSize);
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
    QStringList rest;
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
        if (a == QLatin1String("--game-dir")) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("--game-dir needs a folder"), output);
            gameDir = args[++i];
            continue;
        }
        if (a.startsWith(QLatin1String("--game-dir="))) {
            gameDir = a.mid(11);
            continue;
        }
        rest << a;
    }
    if (rest.isEmpty())
        return usageError(QStringLiteral("no command given"), output);
    const Catalogue catalogue(gameDir);
    const QString command = rest.takeFirst();
    if (command == QLatin1String("stats")) {
        if (rest.size() != 1)
            return usageError(QStringLiteral("stats takes one file"), output);
        return stats(rest[0], catalogue, output);
    }
    if (command == QLatin1String("rewrite")) {
        if (rest.size() != 2)
            return usageError(QStringLiteral("rewrite takes an input and an output file"), output);
        return rewrite(rest[0], rest[1], catalogue, output);
    }
    if (command == QLatin1String("render")) {
        QSize size(900, 800);
        const qsizetype sizeAt = rest.indexOf(QStringLiteral("--size"));
        if (sizeAt >= 0) {
            const QStringList wh = sizeAt + 1 < rest.size() ? rest[sizeAt + 1].split(QLatin1Char('x')) : QStringList();
            bool okW = false;
            bool okH = false;
            const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
            const int h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
            if (!okW || !okH || w < 16 || h < 32 || w > 20000 || h > 20000)
                return usageError(QStringLiteral("--size takes WIDTHxHEIGHT, for example 1600x1000"), output);
            size = QSize(w, h);
            rest.remove(sizeAt, 2);
        }
        if (rest.size() != 2)
            return usageError(QStringLiteral("render takes an input file and an output image"), output);
        return render(rest[0], rest[1], size, catalogue, output);
    }
    return usageError(QStringLiteral("unknown command '%1'").arg(command), output);
}

} // namespace starloom
