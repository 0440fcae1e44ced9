// Feeds arbitrary bytes to the .big archive reader and checks what must hold
// for every input: a refused archive says why and lists nothing; a read one
// lists every folder, finds every file by its path, and a file that reads
// comes out at its recorded size.

#include "gamedata/BigArchive.h"

#include <QByteArray>

#include <cstdint>

#include "FuzzCheck.h"

using namespace starloom;

namespace {

using fuzz::check;

constexpr std::size_t maxChecked = 64;
constexpr std::uint32_t maxUnpackedRead = 1u << 20;

void checkNames(const std::optional<QStringList>& names)
{
    check(names.has_value(), "every listed folder has entries");
    for (const QString& name : *names)
        check(!name.isEmpty() && !name.contains(QLatin1Char('\\')), "an entry is one name");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const BigArchive archive = BigArchive::fromBytes(bytes, "fuzz.big");
    check(archive.isValid() == archive.error().isEmpty(), "an archive is read or says why not");
    if (!archive.isValid()) {
        check(archive.files().empty() && archive.folders().isEmpty() && !archive.entries(u"ship"),
            "a refused archive lists nothing");
        return 0;
    }
    for (qsizetype i = 0; i < archive.folders().size() && std::size_t(i) < maxChecked; ++i)
        checkNames(archive.entries(archive.folders()[i]));
    for (std::size_t i = 0; i < archive.files().size() && i < maxChecked; ++i) {
        const BigArchive::File& f = archive.files()[i];
        const QString path = archive.filePath(static_cast<qsizetype>(i));
        const qsizetype found = archive.find(path);
        check(found >= 0 && std::size_t(found) <= i && archive.filePath(found).compare(path, Qt::CaseInsensitive) == 0,
            "a file is found by its path");
        if (f.unpackedSize > maxUnpackedRead)
            continue;
        QString error;
        const auto contents = archive.read(static_cast<qsizetype>(i), &error);
        check(contents ? contents->size() == qsizetype(f.unpackedSize) : !error.isEmpty(),
            "a read gives the recorded size or says why not");
    }
    return 0;
}
