#include "BigArchiveWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <map>
#include <set>
#include <zlib.h>

namespace starloom::test {

void putU16(QByteArray& bytes, qint64 at, std::uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xff);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void putU32(QByteArray& bytes, qint64 at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

namespace {

void appendU16(QByteArray& b, std::uint16_t v)
{
    b.append(2, '\0');
    putU16(b, b.size() - 2, v);
}

void appendU32(QByteArray& b, std::uint32_t v)
{
    b.append(4, '\0');
    putU32(b, b.size() - 4, v);
}

QByteArray packed(const QByteArray& data, bool raw)
{
    QByteArray zlibData = qCompress(data).mid(4); // without Qt's length prefix
    return raw ? zlibData.mid(2, zlibData.size() - 6) : zlibData;
}

struct Folder {
    QString path;
    std::set<QString> children;
    std::vector<int> files; // indices into the entries
};

} // namespace

BigBytes writeBigArchive(const std::vector<BigEntry>& entries, const BigLayout& layout)
{
    // The folder tree, every folder on a file's path included.
    std::map<QString, Folder> tree;
    tree[QString()];
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QStringList parts = entries[i].path.split(QLatin1Char('\\'));
        const bool folderOnly = parts.last().isEmpty();
        parts.removeLast();
        QString path;
        for (const QString& part : parts) {
            const QString child = path.isEmpty() ? part : path + QLatin1Char('\\') + part;
            if (child == path)
                continue; // an empty first part: no folder is its own child
            tree[path].children.insert(child);
            tree[child].path = child;
            path = child;
        }
        if (!folderOnly)
            tree[path].files.push_back(static_cast<int>(i));
    }
    std::vector<QString> order = {QString()};
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto& children = tree[order[i]].children;
        order.insert(order.end(), children.begin(), children.end());
    }
    std::map<QString, int> indexOf;
    for (std::size_t i = 0; i < order.size(); ++i)
        indexOf[order[i]] = static_cast<int>(i);

    QByteArray names;
    auto name = [&names](const QString& text) {
        const auto offset = static_cast<std::uint32_t>(names.size());
        names.append(text.toLatin1());
        names.append('\0');
        return offset;
    };
    const QString root = layout.tocName;
    auto stored = [&](const QString& path) {
        if (!layout.pathsStartWithRoot)
            return path;
        return path.isEmpty() ? root : root + QLatin1Char('\\') + path;
    };

    QByteArray folderTable, fileTable, data;
    std::vector<int> fileOrder;
    for (const QString& path : order) {
        const Folder& f = tree[path];
        const auto& children = f.children;
        const auto firstSub = static_cast<std::uint16_t>(children.empty() ? 0 : indexOf[*children.begin()]);
        const auto lastSub = static_cast<std::uint16_t>(children.empty() ? 0 : indexOf[*children.rbegin()] + 1);
        auto files = f.files;
        std::sort(files.begin(), files.end(), [&](int a, int b) { return entries[a].path < entries[b].path; });
        appendU32(folderTable, name(stored(path)));
        appendU16(folderTable, firstSub);
        appendU16(folderTable, lastSub);
        appendU16(folderTable, static_cast<std::uint16_t>(fileOrder.size()));
        fileOrder.insert(fileOrder.end(), files.begin(), files.end());
        appendU16(folderTable, static_cast<std::uint16_t>(fileOrder.size()));
    }
    for (const int i : fileOrder) {
        const BigEntry& e = entries[static_cast<std::size_t>(i)];
        const QString fileName = e.path.section(QLatin1Char('\\'), -1);
        const QByteArray body = e.compressed ? packed(e.data, layout.rawDeflate) : e.data;
        QByteArray fileHeader = fileName.toLatin1().leftJustified(256, '\0', true);
        appendU32(fileHeader, 1700000000u);
        appendU32(fileHeader,
            static_cast<std::uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(e.data.constData()), static_cast<uInt>(e.data.size()))));
        data.append(fileHeader);
        appendU32(fileTable, name(fileName));
        fileTable.append(static_cast<char>(e.compressed ? 0x10 : 0));
        appendU32(fileTable, static_cast<std::uint32_t>(data.size()));
        appendU32(fileTable, static_cast<std::uint32_t>(body.size()));
        appendU32(fileTable, static_cast<std::uint32_t>(e.data.size()));
        data.append(body);
    }

    QByteArray toc = root.toLatin1().leftJustified(64, '\0', true) + root.toLatin1().leftJustified(64, '\0', true);
    appendU16(toc, 0);
    appendU16(toc, static_cast<std::uint16_t>(order.size()));
    appendU16(toc, 0);
    appendU16(toc, static_cast<std::uint16_t>(fileOrder.size()));
    appendU16(toc, 0);

    BigBytes out;
    const qint64 tocAt = 24;
    const qint64 foldersAt = tocAt + toc.size();
    const qint64 filesAt = foldersAt + folderTable.size();
    const qint64 namesAt = filesAt + fileTable.size();
    const qint64 sectionSize = namesAt + names.size();
    QByteArray& b = out.bytes;
    b = QByteArray("_ARCHIVE");
    appendU32(b, 2);
    b.append(16, '\x11');
    QByteArray archiveName(128, '\0');
    const QString title = QStringLiteral("Test archive");
    for (qsizetype i = 0; i < title.size(); ++i)
        archiveName[2 * i] = static_cast<char>(title[i].unicode());
    b.append(archiveName);
    b.append(16, '\x22');
    appendU32(b, static_cast<std::uint32_t>(sectionSize));
    appendU32(b, static_cast<std::uint32_t>(180 + sectionSize));
    const std::pair<qint64, qsizetype> sections[] = {{tocAt, 1}, {foldersAt, static_cast<qsizetype>(order.size())},
        {filesAt, static_cast<qsizetype>(fileOrder.size())},
        {namesAt, static_cast<qsizetype>(order.size() + fileOrder.size())}};
    for (const auto& [offset, count] : sections) {
        appendU32(b, static_cast<std::uint32_t>(offset));
        appendU16(b, static_cast<std::uint16_t>(count));
    }
    b += toc + folderTable + fileTable + names + data;
    out.folderTable = 180 + foldersAt;
    out.fileTable = 180 + filesAt;
    out.nameTable = 180 + namesAt;
    out.dataStart = 180 + sectionSize;
    out.folders = static_cast<int>(order.size());
    out.files = static_cast<int>(fileOrder.size());
    return out;
}

QByteArray writeCraftedArchive(const CraftedArchive& shape)
{
    QByteArray names(shape.nameLength, 'x');
    names += '\0';
    QByteArray tocs, folders, files;
    for (int i = 0; i < shape.tocs; ++i) {
        QByteArray toc = QByteArray("t" + QByteArray::number(i)).leftJustified(128, '\0');
        appendU16(toc, 0);
        appendU16(toc, static_cast<std::uint16_t>(shape.folders));
        appendU16(toc, 0);
        appendU16(toc, static_cast<std::uint16_t>(shape.files));
        appendU16(toc, 0);
        tocs += toc;
    }
    for (int i = 0; i < shape.folders; ++i) {
        std::uint32_t name = 0;
        if (shape.folderNamesOfTheirOwn) {
            name = static_cast<std::uint32_t>(names.size());
            names += "f" + QByteArray::number(i) + '\0';
        }
        appendU32(folders, name);
        appendU16(folders, 0);
        appendU16(folders, 0);
        appendU16(folders, 0);
        appendU16(folders, static_cast<std::uint16_t>(shape.files));
    }
    for (int i = 0; i < shape.files; ++i) {
        appendU32(files, 0);
        files.append('\0');
        appendU32(files, 0);
        appendU32(files, 0);
        appendU32(files, 0);
    }
    const qint64 tocAt = 24;
    const qint64 foldersAt = tocAt + tocs.size();
    const qint64 filesAt = foldersAt + folders.size();
    const qint64 namesAt = filesAt + files.size();
    const qint64 sectionSize = namesAt + names.size();
    QByteArray b("_ARCHIVE");
    appendU32(b, 2);
    b.append(164, '\0');
    appendU32(b, static_cast<std::uint32_t>(180 + sectionSize));
    const std::pair<qint64, int> sections[] = {
        {tocAt, shape.tocs}, {foldersAt, shape.folders}, {filesAt, shape.files}, {namesAt, 1}};
    for (const auto& [offset, count] : sections) {
        appendU32(b, static_cast<std::uint32_t>(offset));
        appendU16(b, static_cast<std::uint16_t>(count));
    }
    return b + tocs + folders + files + names;
}

void writeBigArchiveFile(const QString& path, const std::vector<BigEntry>& entries, const BigLayout& layout)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(writeBigArchive(entries, layout).bytes);
}

} // namespace starloom::test
