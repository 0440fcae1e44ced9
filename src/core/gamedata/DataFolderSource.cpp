#include "DataFolderSource.h"

#include "GameFolder.h"

#include <QDir>
#include <QFileInfo>

namespace starloom {

DataFolderSource::DataFolderSource(QString dataFolder) : m_dataFolder(std::move(dataFolder))
{
}

QString DataFolderSource::description() const
{
    return QStringLiteral("folder %1").arg(m_dataFolder);
}

std::optional<QStringList> DataFolderSource::entries(const QString& folder) const
{
    const QString path = resolveFolder(m_dataFolder, folder);
    if (path.isEmpty())
        return std::nullopt;
    return QDir(path).entryList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
}

QString DataFolderSource::problem() const
{
    if (const QFileInfo info(m_dataFolder); !info.isDir())
        return info.exists() ? QStringLiteral("The data folder %1 is not a folder").arg(m_dataFolder)
                             : QStringLiteral("The data folder %1 does not exist").arg(m_dataFolder);
    return {};
}

} // namespace starloom
