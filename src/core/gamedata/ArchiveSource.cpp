#include "ArchiveSource.h"

#include <QFileInfo>

namespace starloom {

ArchiveSource::ArchiveSource(QString path) : m_path(std::move(path))
{
}

QString ArchiveSource::description() const
{
    return QStringLiteral("archive %1").arg(m_path);
}

std::shared_ptr<const BigArchive> ArchiveSource::archive() const
{
    const QFileInfo info(m_path);
    const qint64 size = info.exists() ? info.size() : -1;
    const QDateTime modified = info.lastModified();
    const std::lock_guard lock(m_mutex);
    if (!m_archive || size != m_size || modified != m_modified) {
        m_archive = std::make_shared<const BigArchive>(BigArchive::open(m_path));
        m_size = size;
        m_modified = modified;
    }
    return m_archive;
}

std::optional<QStringList> ArchiveSource::entries(const QString& folder) const
{
    const auto big = archive();
    if (!big->isValid())
        return std::nullopt;
    return big->entries(folder);
}

QString ArchiveSource::problem() const
{
    return archive()->error();
}

} // namespace starloom
