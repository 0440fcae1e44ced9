#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace starloom::test {

// One entry of a test archive: a file with its data, or a folder alone when the path ends in '\'.
struct BigEntry {
    QString path; // '\'-separated, below the data root ("ship\hgn_scout\hgn_scout.ship")
    QByteArray data = {};
    bool compressed = false;
};

struct BigLayout {
    QString tocName = QStringLiteral("Data");
    bool pathsStartWithRoot = false; // folders stored as "Data\ship" instead of "ship"
    bool rawDeflate = false;         // compressed data without the zlib header
};

// A .big archive in the game's format, and where its parts lie (for tests that damage it).
struct BigBytes {
    QByteArray bytes;
    qint64 folderTable = 0;
    qint64 fileTable = 0;
    qint64 nameTable = 0;
    qint64 dataStart = 0;
    int folders = 0;
    int files = 0;
};

// Folders are laid out breadth first (each folder's subfolders and files are consecutive), files
// and folders in name order, compressed files as zlib data with storage 0x10.
BigBytes writeBigArchive(const std::vector<BigEntry>& entries, const BigLayout& layout = {});
// Writes it to `path`, making the folders on the way.
void writeBigArchiveFile(const QString& path, const std::vector<BigEntry>& entries, const BigLayout& layout = {});

// An archive made to cost as much as an archive's tables can make its reader spend: `files` file
// entries and `folders` folders, every file (empty, stored) named by one name of `nameLength`
// bytes, every folder listing every file, the folders named by that name too (or each by a short
// name of its own), and `tocs` tables of contents, each with a name of its own.
struct CraftedArchive {
    int files = 1;
    int folders = 1;
    int tocs = 1;
    int nameLength = 1;
    bool folderNamesOfTheirOwn = false;
};
QByteArray writeCraftedArchive(const CraftedArchive& shape);

void putU16(QByteArray& bytes, qint64 at, std::uint16_t value);
void putU32(QByteArray& bytes, qint64 at, std::uint32_t value);

} // namespace starloom::test
