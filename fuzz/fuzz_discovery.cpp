// Builds a home folder from arbitrary bytes (folders, files, FIFOs, links to FIFOs, to devices, to
// folders, dangling links) and runs the game lookup on it as the editor does at its start: Steam's
// libraries and manifests, Wine's registry, the games' Data folders and archives, the model lists
// of every kind and the reading of a script's include. It must end (libFuzzer's -timeout catches a
// wait on a FIFO, -rss_limit_mb a file read without end), never crash, find games only inside the
// home folder and say something for every problem.
//
// The input is lines: "<kind><path>[=<text>]", the path below the home folder ('/'-separated,
// without "..") and the kind one of
//   d  a folder                 f  a file holding <text> ("\n" for a line end)
//   p  a FIFO                   l  a link to <text> (a path below the home folder, or dangling)
//   z  a link to /dev/zero      u  a link to /dev/urandom      n  a link to /dev/null
//   q  a link to a FIFO         b  a small .big archive holding the file <text>

#include "document/Catalogue.h"
#include "gamedata/DataFileReader.h"
#include "gamedata/Environment.h"
#include "gamedata/GameSetup.h"
#include "gamedata/Registry.h"

#include "BigArchiveWriter.h"
#include "FuzzCheck.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

using namespace starloom;

namespace {

using fuzz::check;

constexpr int maxLines = 64;
constexpr int maxDepth = 12;
constexpr qsizetype maxText = 4096;

class HomeEnvironment final : public Environment {
public:
    explicit HomeEnvironment(QString home) : m_home(std::move(home)) {}
    QString variable(const QString&) const override { return {}; }
    QString homePath() const override { return m_home; }
    bool isWindows() const override { return false; }

private:
    QString m_home;
};

class NoRegistry final : public Registry {
public:
    QString value(RegistryRoot, const QString&, const QString&) const override { return {}; }
};

// The folder every run builds its tree in, made once.
const QString& workFolder()
{
    static const QString folder = [] {
        QByteArray name = QDir::tempPath().toLocal8Bit() + "/starloom-fuzz-XXXXXX";
        const char* made = mkdtemp(name.data());
        return made ? QString::fromLocal8Bit(made) : QString();
    }();
    return folder;
}

// The path below `home`, or empty when the bytes name no such path.
QString below(const QString& home, const QByteArray& path)
{
    const QByteArrayList parts = path.split('/');
    if (parts.size() > maxDepth)
        return {};
    QStringList names;
    for (const QByteArray& part : parts) {
        if (part.isEmpty() || part == "." || part == ".." || part.size() > 64 || part.contains('\0'))
            return {};
        names << QString::fromLatin1(part);
    }
    return home + QLatin1Char('/') + names.join(QLatin1Char('/'));
}

void makeParent(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
}

// Writes a new file at `path`, first removing what stands there (a FIFO opened for writing would
// wait for a reader; a link would be followed). A folder stays and the file is not written.
void writeNewFile(const QByteArray& path, const QByteArray& bytes)
{
    unlink(path.constData());
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (wrote <= 0)
            break;
        done += wrote;
    }
    close(fd);
}

void build(const QString& home, const QByteArray& input)
{
    const QString fifo = home + QStringLiteral("/.fifo");
    mkfifo(QFile::encodeName(fifo).constData(), 0600);
    int lines = 0;
    for (const QByteArray& line : input.split('\n')) {
        if (line.size() < 2 || ++lines > maxLines)
            continue;
        const char kind = line[0];
        const qsizetype equals = line.indexOf('=');
        const QByteArray pathBytes = line.mid(1, equals < 0 ? -1 : equals - 1);
        QByteArray text = equals < 0 ? QByteArray() : line.mid(equals + 1).left(maxText);
        text.replace("\\n", "\n");
        const QString path = below(home, pathBytes);
        if (path.isEmpty())
            continue;
        makeParent(path);
        const QByteArray native = QFile::encodeName(path);
        switch (kind) {
        case 'd':
            QDir().mkpath(path);
            break;
        case 'f':
            writeNewFile(native, text);
            break;
        case 'p':
            mkfifo(native.constData(), 0600);
            break;
        case 'l': {
            const QString target = below(home, text);
            symlink(QFile::encodeName(target.isEmpty() ? QStringLiteral("missing") : target).constData(),
                native.constData());
            break;
        }
        case 'z':
            symlink("/dev/zero", native.constData());
            break;
        case 'u':
            symlink("/dev/urandom", native.constData());
            break;
        case 'n':
            symlink("/dev/null", native.constData());
            break;
        case 'q':
            symlink(QFile::encodeName(fifo).constData(), native.constData());
            break;
        case 'b':
            writeNewFile(native, test::writeBigArchive({{QString::fromLatin1(text.left(200)), "x = 1"}}).bytes);
            break;
        default:
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString& work = workFolder();
    if (work.isEmpty())
        return 0;
    const QString home = work + QStringLiteral("/home");
    QDir(home).removeRecursively(); // links are removed, never followed
    QDir().mkpath(home);
    build(home, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const QString root = QFileInfo(home).canonicalFilePath();

    QStringList problems;
    const std::vector<GameInstall> games = findGames(HomeEnvironment(home), NoRegistry(), &problems);
    for (const GameInstall& game : games)
        check(QFileInfo(game.folder).canonicalFilePath().startsWith(root + QLatin1Char('/')),
            "games are found inside the home folder only");
    const GameSetup setup = chooseGame(QString(), QString(), games, std::nullopt, {home + QStringLiteral("/mod.big")});
    const Catalogue catalogue = catalogueFor(setup);
    for (const QString& problem : catalogue.problems())
        check(!problem.isEmpty(), "problems say something");
    ModelLists lists(catalogue);
    for (const ItemKind kind : arrayKinds)
        lists.list(kind);
    QString error;
    const DataFileReader read = dataFileReader(setup);
    const std::optional<QByteArray> include = read(QStringLiteral("data:scripts/x.lua"), 1 << 20, &error);
    check(!include || include->size() <= (1 << 20), "an include is no longer than asked");
    check(!include || error.isEmpty(), "an include read has no error");
    return 0;
}
