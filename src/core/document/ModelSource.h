#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace starloom {

// One place model names come from: a game's Data folder, a mod's data folder, an archive. The
// catalogue asks its sources in order and applies the kinds' rules to what they list alike.
class ModelSource {
public:
    virtual ~ModelSource() = default;

    // What the source is, for the user ("folder /games/hw2/Data").
    virtual QString description() const = 0;

    // The names of the entries (subfolders and files) directly inside `folder`, a path below the
    // data root with '\' between folder names ("ship", "resource\asteroid"), as the source
    // stores them and in its order; nullopt when the source has no such folder or cannot be read.
    virtual std::optional<QStringList> entries(const QString& folder) const = 0;

    // Why the source cannot be read, for the user; empty when it can.
    virtual QString problem() const { return {}; }
};

} // namespace starloom
