#pragma once

#include "EditorHost.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QLockFile;

namespace starloom {

// The copies of unsaved work that editors keep in one folder ("recovery-*.level"), each marked as
// in use by a lock file ("<copy>.lock", QLockFile) while its editor runs. One object holds this
// editor's own copy and finds the copies editors that did not end normally left behind.
class RecoveryCopies {
public:
    RecoveryCopies();
    ~RecoveryCopies();
    RecoveryCopies(const RecoveryCopies&) = delete;
    RecoveryCopies& operator=(const RecoveryCopies&) = delete;

    // Claims a copy of this editor's own in `folder` (made when missing); false when none could be.
    bool claim(const QString& folder);
    // This editor's copy; empty until one is claimed.
    const QString& path() const { return m_path; }
    // True when `path` is a recovery copy in the folder (this editor's or another's).
    bool isCopy(const QString& path) const;
    // Writes `level` (a level file's text) as this editor's copy, noting the file the work is on
    // (`workFile`, empty for a level never saved). True when it was written.
    bool write(QByteArray level, const QString& workFile);
    void remove();

    // The copies no running editor holds (their editors ended without removing them), newest
    // first, held locked until `left` is dropped so that an editor starting meanwhile does not
    // offer them too. `describe` reads one: its items and description.
    struct Left {
        std::vector<RecoveryCopy> copies;
        std::vector<std::unique_ptr<QLockFile>> locks;
        Left();
        Left(Left&&) noexcept;
        ~Left();
    };
    Left leftBehind(const std::function<void(RecoveryCopy& copy)>& describe) const;

private:
    QString m_folder;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace starloom
