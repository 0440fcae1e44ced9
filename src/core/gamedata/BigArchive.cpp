#include "BigArchive.h"

#include "levelfile/SafeFile.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace starloom {

namespace {

constexpr qint64 headerSize = 180;
constexpr qint64 sectionHeaderSize = 24;
constexpr qint64 tocEntrySize = 138;
constexpr qint64 folderEntrySize = 12;
constexpr qint64 fileEntrySize = 17;
// 65535 names of at most 256 characters: no real name table is larger.
constexpr qint64 maxNameTable = 65535 * 257;
// The largest archive opened (only its tables and the files asked for are read).
constexpr qint64 maxArchiveBytes = qint64{1} << 40;
// Deflate cannot pack more tightly than about 1032 to 1.
constexpr qint64 maxInflateRatio = 1032;

std::uint16_t u16(const QByteArray& b, qint64 at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t u32(const QByteArray& b, qint64 at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A NUL-terminated text of at most `length` bytes at `at`.
QString fixedText(const QByteArray& b, qint64 at, qint64 length)
{
    const char* start = b.constData() + at;
    const auto* end = static_cast<const char*>(std::memchr(start, 0, static_cast<std::size_t>(length)));
    return QString::fromLatin1(start, end ? end - start : length);
}

struct Table {
    qint64 start = 0;
    qint64 count = 0;
    qint64 entrySize = 0;
    qint64 end() const { return start + count * entrySize; }
};

// The components of a stored path, '/' taken as '\', empty components dropped.
QStringList components(QStringView path)
{
    QStringList parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\' || path[i] == u'/') {
            if (i > from)
                parts << path.mid(from, i - from).toString();
            from = i + 1;
        }
    }
    return parts;
}

QString normalPath(QStringView path)
{
    return components(path).join(QLatin1Char('\\'));
}

} // namespace

template <class ReadRange> void BigArchive::load(qint64 fileSize, ReadRange readRange)
{
    m_size = fileSize;
    const QByteArray header = readRange(0, headerSize);
    if (header.size() < 8 || !header.startsWith("_ARCHIVE")) {
        if (fileSize < 8)
            return fail(QStringLiteral("%1 is not a .big archive (it is too short)").arg(m_name));
        return fail(QStringLiteral("%1 cannot be read: it has no _ARCHIVE mark, so it is encrypted (as the archives "
                                   "of older Remastered releases are) or not a .big archive")
                        .arg(m_name));
    }
    if (header.size() < headerSize)
        return fail(QStringLiteral("%1 is damaged: it ends inside its header").arg(m_name));
    const std::uint32_t version = u32(header, 8);
    if (version != 2)
        return fail(
            QStringLiteral("%1 is an archive of version %2, which the editor cannot read").arg(m_name).arg(version));
    m_dataStart = u32(header, 176);

    const QByteArray sections = readRange(headerSize, sectionHeaderSize);
    if (sections.size() < sectionHeaderSize)
        return fail(QStringLiteral("%1 is damaged: it ends inside its section header").arg(m_name));
    const qint64 sizes[] = {tocEntrySize, folderEntrySize, fileEntrySize, 1};
    const char* const what[] = {"table of contents", "folder table", "file table", "name table"};
    Table tables[4];
    for (int i = 0; i < 4; ++i) {
        tables[i] = {headerSize + u32(sections, 6 * i), u16(sections, 6 * i + 4), sizes[i]};
        const qint64 end = i == 3 ? tables[i].start : tables[i].end();
        if (end > fileSize)
            return fail(
                QStringLiteral("%1 is damaged: its %2 lies outside the file").arg(m_name, QLatin1String(what[i])));
    }
    const Table& toc = tables[0];
    const Table& folderTable = tables[1];
    const Table& fileTable = tables[2];
    const qint64 namesStart = tables[3].start;
    qint64 namesEnd = m_dataStart > namesStart && m_dataStart <= fileSize ? qint64(m_dataStart) : fileSize;
    namesEnd = std::min(namesEnd, namesStart + maxNameTable);

    const QByteArray tocBytes = readRange(toc.start, toc.end() - toc.start);
    const QByteArray folderBytes = readRange(folderTable.start, folderTable.end() - folderTable.start);
    const QByteArray fileBytes = readRange(fileTable.start, fileTable.end() - fileTable.start);
    const QByteArray names = readRange(namesStart, namesEnd - namesStart);
    if (tocBytes.size() != toc.end() - toc.start || folderBytes.size() != folderTable.end() - folderTable.start
        || fileBytes.size() != fileTable.end() - fileTable.start || names.size() != namesEnd - namesStart)
        return fail(QStringLiteral("%1 could not be read to its end").arg(m_name));

    // Each name is read once, however many entries share it.
    QHash<std::uint32_t, QString> namesRead;
    auto nameAt = [&](std::uint32_t offset, QString* out) {
        if (const auto it = namesRead.constFind(offset); it != namesRead.constEnd()) {
            *out = *it;
            return true;
        }
        if (offset >= names.size())
            return false;
        const char* start = names.constData() + offset;
        const auto* end =
            static_cast<const char*>(std::memchr(start, 0, static_cast<std::size_t>(names.size() - offset)));
        if (!end)
            return false;
        *out = normalPath(QString::fromLatin1(start, end - start));
        namesRead.insert(offset, *out);
        return true;
    };
    auto validRange = [](qint64 first, qint64 last, qint64 count) { return first <= last && last <= count; };

    QSet<QString> roots = {QStringLiteral("data")};
    for (qint64 i = 0; i < toc.count; ++i) {
        const qint64 at = i * tocEntrySize;
        const qint64 fields = at + 128;
        if (!validRange(u16(tocBytes, fields), u16(tocBytes, fields + 2), folderTable.count)
            || !validRange(u16(tocBytes, fields + 4), u16(tocBytes, fields + 6), fileTable.count))
            return fail(QStringLiteral("%1 is damaged: table of contents %2 names folders or files it does not have")
                            .arg(m_name)
                            .arg(i));
        const QString tocName = fixedText(tocBytes, at + 64, 64);
        if (!tocName.isEmpty())
            roots.insert(tocName.toLower());
    }

    m_files.resize(static_cast<std::size_t>(fileTable.count));
    QHash<std::uint32_t, int> nameIds; // by the name's offset
    std::vector<std::size_t> firstWithName;
    for (qint64 i = 0; i < fileTable.count; ++i) {
        const qint64 at = i * fileEntrySize;
        File& f = m_files[static_cast<std::size_t>(i)];
        const std::uint32_t nameOffset = u32(fileBytes, at);
        if (!nameAt(nameOffset, &f.name))
            return fail(
                QStringLiteral("%1 is damaged: the name of file %2 lies outside the name table").arg(m_name).arg(i));
        if (const auto known = nameIds.constFind(nameOffset); known != nameIds.constEnd()) {
            f.nameId = *known;
            f.leaf = m_files[firstWithName[static_cast<std::size_t>(*known)]].leaf;
        } else {
            f.nameId = static_cast<int>(m_distinctNames.size());
            f.leaf = f.name.lastIndexOf(QLatin1Char('\\')) + 1;
            nameIds.insert(nameOffset, f.nameId);
            firstWithName.push_back(static_cast<std::size_t>(i));
            m_distinctNames << f.name;
        }
        f.storage = static_cast<std::uint8_t>(fileBytes[at + 4]);
        f.dataOffset = u32(fileBytes, at + 5);
        f.storedSize = u32(fileBytes, at + 9);
        f.unpackedSize = u32(fileBytes, at + 13);
    }
    // A file belongs to the first folder that lists it: `next` skips the files placed already, so
    // that folders listing the same files over and over cost no more than the files.
    std::vector<std::uint32_t> next(m_files.size() + 1);
    for (std::size_t k = 0; k < next.size(); ++k)
        next[k] = static_cast<std::uint32_t>(k);
    auto unplaced = [&next](std::uint32_t k) {
        std::uint32_t root = k;
        while (next[root] != root)
            root = next[root];
        while (next[k] != root) {
            const std::uint32_t up = next[k];
            next[k] = root;
            k = up;
        }
        return root;
    };
    QHash<std::uint32_t, int> pathIds; // a folder path's index in m_distinctFolders, by its name's offset
    m_folders.reserve(folderTable.count);
    for (qint64 i = 0; i < folderTable.count; ++i) {
        const qint64 at = i * folderEntrySize;
        const std::uint32_t nameOffset = u32(folderBytes, at);
        if (!pathIds.contains(nameOffset)) {
            QString name;
            if (!nameAt(nameOffset, &name))
                return fail(QStringLiteral("%1 is damaged: the name of folder %2 lies outside the name table")
                                .arg(m_name)
                                .arg(i));
            // A leading table-of-contents name or "data" is not part of the path.
            const qsizetype slash = name.indexOf(QLatin1Char('\\'));
            const QString first = slash < 0 ? name : name.left(slash);
            pathIds.insert(nameOffset, static_cast<int>(m_distinctFolders.size()));
            m_distinctFolders << (roots.contains(first.toLower()) ? (slash < 0 ? QString() : name.mid(slash + 1))
                                                                  : name);
        }
        const int pathId = pathIds.value(nameOffset);
        const auto firstFile = static_cast<std::uint32_t>(u16(folderBytes, at + 8));
        const auto lastFile = static_cast<std::uint32_t>(u16(folderBytes, at + 10));
        if (!validRange(u16(folderBytes, at + 4), u16(folderBytes, at + 6), folderTable.count)
            || !validRange(firstFile, lastFile, fileTable.count))
            return fail(
                QStringLiteral("%1 is damaged: folder %2 names folders or files it does not have").arg(m_name).arg(i));
        m_folders << m_distinctFolders[pathId];
        m_folderIds.push_back(pathId);
        for (std::uint32_t k = unplaced(firstFile); k < lastFile; k = unplaced(k + 1)) {
            m_files[k].folder = static_cast<int>(i);
            next[k] = k + 1;
        }
    }
    m_valid = true;
}

std::vector<BigArchive::Fit> BigArchive::folderFits(QStringView path) const
{
    std::vector<Fit> fits(static_cast<std::size_t>(m_distinctFolders.size()));
    for (qsizetype i = 0; i < m_distinctFolders.size(); ++i) {
        const QString& folder = m_distinctFolders[i];
        Fit& fit = fits[static_cast<std::size_t>(i)];
        fit.equal = folder.size() == path.size() && path.compare(folder, Qt::CaseInsensitive) == 0;
        fit.above = folder.isEmpty()
            || (path.size() > folder.size() && path[folder.size()] == u'\\'
                && path.startsWith(folder, Qt::CaseInsensitive));
    }
    return fits;
}

QString BigArchive::filePath(qsizetype index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_files.size())
        return {};
    const File& f = m_files[static_cast<std::size_t>(index)];
    const QStringView folder = folderOf(f);
    if (folder.isEmpty())
        return f.name;
    if (f.name.isEmpty())
        return folder.toString();
    return folder.toString() + QLatin1Char('\\') + f.name;
}

void BigArchive::fail(const QString& why)
{
    m_valid = false;
    m_error = why;
    m_folders.clear();
    m_distinctFolders.clear();
    m_folderIds.clear();
    m_distinctNames.clear();
    m_files.clear();
}

BigArchive BigArchive::open(const QString& path)
{
    BigArchive archive;
    archive.m_name = path;
    archive.m_path = path;
    QFile file;
    if (const QString reason = openForReading(path, file, maxArchiveBytes); !reason.isEmpty()) {
        archive.fail(QStringLiteral("%1 cannot be opened: %2").arg(path, reason));
        return archive;
    }
    archive.load(file.size(), [&file](qint64 position, qint64 length) {
        return length > 0 && file.seek(position) ? file.read(length) : QByteArray();
    });
    return archive;
}

BigArchive BigArchive::fromBytes(const QByteArray& bytes, const QString& name)
{
    BigArchive archive;
    archive.m_name = name;
    archive.m_bytes = bytes;
    archive.load(bytes.size(), [&bytes](qint64 position, qint64 length) {
        return position >= 0 && position <= bytes.size() ? bytes.mid(position, length) : QByteArray();
    });
    return archive;
}

std::optional<QStringList> BigArchive::entries(QStringView folder) const
{
    const QString target = normalPath(folder);
    bool found = target.isEmpty() && (!m_folders.isEmpty() || !m_files.empty());
    QStringList names;
    QSet<QStringView> seen; // views of the archive's own names: no copy per entry
    auto add = [&](QStringView name) {
        if (!name.isEmpty() && !seen.contains(name)) {
            seen.insert(name);
            names << name.toString();
        }
    };
    // Each distinct path is compared once; a folder below the target gives its next name.
    const qsizetype from = target.isEmpty() ? 0 : target.size() + 1;
    std::vector<QStringView> below(static_cast<std::size_t>(m_distinctFolders.size()));
    for (qsizetype i = 0; i < m_distinctFolders.size(); ++i) {
        const QStringView path(m_distinctFolders[i]);
        if (path.size() > from
            && (target.isEmpty() || (path[target.size()] == u'\\' && path.startsWith(target, Qt::CaseInsensitive)))) {
            const QStringView rest = path.mid(from);
            const qsizetype slash = rest.indexOf(u'\\');
            below[static_cast<std::size_t>(i)] = slash < 0 ? rest : rest.left(slash);
        }
    }
    const std::vector<Fit> fits = folderFits(target);
    std::vector<char> listed(static_cast<std::size_t>(std::max(m_distinctFolders.size(), m_distinctNames.size())), 0);
    for (const int id : m_folderIds) {
        const auto i = static_cast<std::size_t>(id);
        found = found || fits[i].equal || !below[i].isEmpty();
        if (listed[i] == 0) // each distinct path is looked at once
            add(below[i]);
        listed[i] = 1;
    }
    if (!found)
        return std::nullopt;
    // A file is in the target when its folder is the target, or, for a name that holds folders of
    // its own, when the name's folders end the target and the file's folder is above them.
    std::vector<char> endsTarget(static_cast<std::size_t>(m_distinctNames.size()), 0);
    for (qsizetype i = 0; i < m_distinctNames.size(); ++i) {
        const QString& name = m_distinctNames[i];
        const qsizetype leaf = name.lastIndexOf(QLatin1Char('\\')) + 1;
        if (leaf == 0)
            continue;
        const QStringView own = QStringView(name).left(leaf - 1);
        endsTarget[static_cast<std::size_t>(i)] = target.size() >= own.size()
            && (target.size() == own.size() || target[target.size() - own.size() - 1] == u'\\')
            && QStringView(target).endsWith(own, Qt::CaseInsensitive);
    }
    std::fill(listed.begin(), listed.end(), 0);
    for (const File& f : m_files) {
        if (listed[static_cast<std::size_t>(f.nameId)] != 0) // a name is listed once
            continue;
        const QStringView folderPath = folderOf(f);
        bool in = false;
        if (f.leaf == 0)
            in = f.folder < 0 ? target.isEmpty()
                              : fits[static_cast<std::size_t>(m_folderIds[std::size_t(f.folder)])].equal;
        else if (endsTarget[static_cast<std::size_t>(f.nameId)] != 0)
            in = folderPath.isEmpty() ? target.size() == f.leaf - 1
                                      : target.size() == folderPath.size() + f.leaf
                    && fits[static_cast<std::size_t>(m_folderIds[std::size_t(f.folder)])].above;
        if (in) {
            add(QStringView(f.name).mid(f.leaf));
            listed[static_cast<std::size_t>(f.nameId)] = 1;
        }
    }
    return names;
}

qsizetype BigArchive::find(QStringView path) const
{
    const QString wanted = normalPath(path);
    const std::vector<Fit> fits = folderFits(wanted);
    // Whether `wanted` ends with each distinct name (after a folder's '\', or whole).
    std::vector<char> ends(static_cast<std::size_t>(m_distinctNames.size()), 0);
    for (qsizetype i = 0; i < m_distinctNames.size(); ++i) {
        const QString& name = m_distinctNames[i];
        ends[static_cast<std::size_t>(i)] = wanted.size() >= name.size()
            && (wanted.size() == name.size() || wanted[wanted.size() - name.size() - 1] == u'\\')
            && wanted.endsWith(name, Qt::CaseInsensitive);
    }
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        const File& f = m_files[i];
        const QStringView folder = folderOf(f);
        bool at = false;
        if (folder.isEmpty())
            at = f.name.size() == wanted.size() && ends[static_cast<std::size_t>(f.nameId)] != 0;
        else if (f.name.isEmpty())
            at = fits[static_cast<std::size_t>(m_folderIds[std::size_t(f.folder)])].equal;
        else
            at = wanted.size() == folder.size() + 1 + f.name.size() && ends[static_cast<std::size_t>(f.nameId)] != 0
                && fits[static_cast<std::size_t>(m_folderIds[std::size_t(f.folder)])].above;
        if (at)
            return static_cast<qsizetype>(i);
    }
    return -1;
}

std::optional<QByteArray> BigArchive::read(qsizetype index, QString* error, qint64 maxBytes) const
{
    auto failed = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!m_valid || index < 0 || static_cast<std::size_t>(index) >= m_files.size())
        return failed(QStringLiteral("%1 has no file %2").arg(m_name).arg(index));
    const File& f = m_files[static_cast<std::size_t>(index)];
    const QString path = filePath(index);
    const qint64 start = qint64(m_dataStart) + f.dataOffset;
    if (start + f.storedSize > m_size)
        return failed(QStringLiteral("%1 is damaged: the data of %2 lies outside the file").arg(m_name, path));
    const qint64 largest = std::min<qint64>(maxBytes, maxReadSize);
    if (f.unpackedSize > largest || f.storedSize > largest)
        return failed(QStringLiteral("%1: %2 is too large to be read (%3 bytes; at most %4)")
                          .arg(m_name, path)
                          .arg(std::max(f.unpackedSize, f.storedSize))
                          .arg(largest));
    const bool packed = f.storage == 0x10 || f.storage == 0x20;
    if (f.storage != 0 && !packed)
        return failed(
            QStringLiteral("%1: %2 is stored in a way the editor does not know (%3)").arg(m_name, path).arg(f.storage));
    if (!packed && f.storedSize != f.unpackedSize)
        return failed(QStringLiteral("%1 is damaged: %2 has two different sizes").arg(m_name, path));

    QByteArray stored;
    if (m_path.isEmpty()) {
        stored = m_bytes.mid(start, f.storedSize);
    } else {
        QFile file;
        if (const QString reason = openForReading(m_path, file, maxArchiveBytes); !reason.isEmpty())
            return failed(QStringLiteral("%1 cannot be read: %2").arg(m_name, reason));
        if (!file.seek(start))
            return failed(QStringLiteral("%1 cannot be read: %2").arg(m_name, file.errorString()));
        stored = file.read(f.storedSize);
    }
    if (stored.size() != qsizetype(f.storedSize))
        return failed(QStringLiteral("%1 is damaged: the data of %2 could not be read to its end").arg(m_name, path));
    if (!packed)
        return stored;
    std::optional<QByteArray> unpacked = inflateExactly(stored, f.unpackedSize);
    if (!unpacked)
        return failed(QStringLiteral("%1 is damaged: %2 does not unpack").arg(m_name, path));
    return unpacked;
}

std::optional<QByteArray> inflateExactly(QByteArrayView packed, std::uint32_t unpackedSize)
{
    if (qint64(unpackedSize) > (qint64(packed.size()) + 64) * maxInflateRatio)
        return std::nullopt;
    if (unpackedSize == 0 && packed.isEmpty())
        return QByteArray();
    // One byte more than announced shows data that unpacks to more.
    const qsizetype limit = qsizetype(unpackedSize) + 1;
    // With the zlib header first, then as a bare deflate stream.
    for (const int windowBits : {15, -15}) {
        z_stream z{};
        if (inflateInit2(&z, windowBits) != Z_OK)
            return std::nullopt;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        z.avail_in = static_cast<uInt>(packed.size());
        // The output grows as the data unpacks, so a false size costs no memory.
        QByteArray out;
        out.resize(std::min<qsizetype>(limit, 1 << 16));
        int status = Z_OK;
        for (;;) {
            const auto produced = static_cast<qsizetype>(z.total_out);
            if (produced == out.size()) {
                if (out.size() >= limit)
                    break;
                out.resize(std::min<qsizetype>(out.size() * 2, limit));
            }
            z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
            z.avail_out = static_cast<uInt>(out.size() - produced);
            status = inflate(&z, Z_NO_FLUSH);
            if (status == Z_STREAM_END || (status != Z_OK && status != Z_BUF_ERROR))
                break;
            if (status == Z_BUF_ERROR && z.avail_out != 0)
                break; // the input ended before the stream did
        }
        const auto produced = static_cast<qsizetype>(z.total_out);
        inflateEnd(&z);
        if (status == Z_STREAM_END && produced == qsizetype(unpackedSize)) {
            out.resize(produced);
            return out;
        }
    }
    return std::nullopt;
}

} // namespace starloom
