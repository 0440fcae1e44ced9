#pragma once

#include "BigArchive.h"
#include "document/ModelSource.h"

#include <QDateTime>

#include <memory>
#include <mutex>

namespace starloom {

// Model names from a .big archive: the entries of the kind's folder inside it (subfolders, then
// files, in table order). The tables are read once and again only when the file's size or time
// changes, so choosing a kind does not read the archive again.
class ArchiveSource final : public ModelSource {
public:
    explicit ArchiveSource(QString path);

    QString description() const override;
    std::optional<QStringList> entries(const QString& folder) const override;
    QString problem() const override;

    // The archive as last read (read now when it changed).
    std::shared_ptr<const BigArchive> archive() const;

private:
    QString m_path;
    mutable std::mutex m_mutex;
    mutable std::shared_ptr<const BigArchive> m_archive;
    mutable qint64 m_size = -1;
    mutable QDateTime m_modified;
};

} // namespace starloom
