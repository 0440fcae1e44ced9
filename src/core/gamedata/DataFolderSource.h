#pragma once

#include "document/ModelSource.h"

namespace starloom {

// Model names from a loose data folder (a game's Data folder, a mod's data folder): the entries
// of the kind's folder, which is found one folder name at a time without regard to letter case.
// Hidden entries are skipped; the order is the platform's listing order. Read afresh each time.
class DataFolderSource final : public ModelSource {
public:
    explicit DataFolderSource(QString dataFolder);

    QString description() const override;
    std::optional<QStringList> entries(const QString& folder) const override;
    QString problem() const override;

private:
    QString m_dataFolder;
};

} // namespace starloom
