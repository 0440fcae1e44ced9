#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace starloom {

// The game's .big archive: its folder and file tables, and the data of one file on request.
//
// Layout (little-endian): a 180-byte header ("_ARCHIVE", version 2, two MD5 sums, the archive's
// name in UTF-16, the section-header size and the offset of the file data); at byte 180 the
// section header, four {u32 offset from byte 180, u16 count} pairs for the tables of contents
// (138 bytes each), the folders (12 bytes), the files (17 bytes) and the names (NUL-terminated,
// found by byte offset into the name table). A file's data lies at the file-data offset plus its
// own offset; the 264 bytes before it (name, time, CRC) are not used.
//
// Every offset and count is checked against the file's size: a damaged or hostile archive gives
// an error message and no entries, never a read outside the file. Archives without the
// "_ARCHIVE" mark (the encrypted ones of older Remastered releases) are refused by name. Reading
// the tables takes memory and time within a small multiple of the archive's size: a name that
// many entries share is read once, and the entries' paths are not spelled out.
class BigArchive {
public:
    struct File {
        QString name;             // as stored, '\'-separated (it may hold folders of its own)
        qsizetype leaf = 0;       // where the name's last component starts
        int folder = -1;          // the folder that lists it (folders()), or -1: none does
        int nameId = 0;           // files of one name share it
        std::uint8_t storage = 0; // 0 stored, 0x10 and 0x20 zlib-compressed
        std::uint32_t dataOffset = 0;
        std::uint32_t storedSize = 0;
        std::uint32_t unpackedSize = 0;
    };

    // Files larger than this are not unpacked (the editor reads scripts, not models).
    static constexpr std::uint32_t maxReadSize = 64u << 20;

    BigArchive() = default;

    // Reads the tables of the archive file at `path`; the file is opened again for each read().
    static BigArchive open(const QString& path);
    // The same from bytes in memory; `name` stands for the file in messages.
    static BigArchive fromBytes(const QByteArray& bytes, const QString& name);

    bool isValid() const { return m_valid; }
    // Why the archive cannot be read, naming it; empty when it can.
    const QString& error() const { return m_error; }
    const QString& name() const { return m_name; }

    // Folder paths below the data root ("ship", "ship\hgn_scout"), in table order. A leading
    // component equal to the table of contents' name or "data" is not part of the path, so an
    // archive that stores "Data\ship" and one that stores "ship" list the same.
    const QStringList& folders() const { return m_folders; }
    // Files in table order, each in the folder that lists it first.
    const std::vector<File>& files() const { return m_files; }
    // The path of file `index` below the data root: its folder's path and its name.
    QString filePath(qsizetype index) const;

    // Names of the entries directly inside `folder` (any letter case, '\' or '/'): subfolders
    // first, then files, each once, in table order; nullopt when the archive has no such folder.
    std::optional<QStringList> entries(QStringView folder) const;

    // Index of the file at `path` (any letter case, '\' or '/'), or -1.
    qsizetype find(QStringView path) const;

    // The unpacked data of file `index`; nullopt with `error` set when it lies outside the
    // archive ("damaged"), does not unpack to its recorded size, or is larger than `maxBytes`
    // (at most maxReadSize).
    std::optional<QByteArray> read(qsizetype index, QString* error = nullptr, qint64 maxBytes = maxReadSize) const;

private:
    // Reads the tables through `readRange(position, length)` from an archive of `fileSize` bytes.
    template <class ReadRange> void load(qint64 fileSize, ReadRange readRange);
    void fail(const QString& why);
    // How each distinct folder path stands to `path` (any letter case): equal to it, or a folder
    // above it (an empty path stands above every other one).
    struct Fit {
        bool equal = false;
        bool above = false;
    };
    std::vector<Fit> folderFits(QStringView path) const;
    // The folder path of file `f` (empty: none).
    QStringView folderOf(const File& f) const
    {
        return f.folder < 0 ? QStringView() : QStringView(m_distinctFolders[m_folderIds[std::size_t(f.folder)]]);
    }

    QString m_name;
    QString m_path;     // file on disk (empty for an archive in memory)
    QByteArray m_bytes; // archive in memory
    qint64 m_size = 0;
    std::uint32_t m_dataStart = 0;
    bool m_valid = false;
    QString m_error;
    QStringList m_folders;
    // Each path and name once: comparing them with a path costs what they hold, however many
    // entries share them.
    QStringList m_distinctFolders;
    std::vector<int> m_folderIds; // of each folder, into m_distinctFolders
    QStringList m_distinctNames;  // of the files, by nameId
    std::vector<File> m_files;
};

// The unpacked form of zlib data (with or without the zlib header) that must come out at
// exactly `unpackedSize` bytes; nullopt when it does not.
std::optional<QByteArray> inflateExactly(QByteArrayView packed, std::uint32_t unpackedSize);

} // namespace starloom
