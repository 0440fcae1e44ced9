#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace starloom {

// The answer to "save the level first?".
enum class SaveChoice { Save, Discard, Cancel };

// A recovery copy of unsaved work that an editor left behind when it did not exit normally.
struct RecoveryCopy {
    QString path;
    QDateTime written;
    int items = 0;     // the items it holds, player starts included
    QString levelDesc; // as plainDescription shows it
    QString file;      // the level's file the work was on; empty for a level never saved
};

// What the user does with the recovery copies offered at start: restore one of them, discard
// them all, or keep them all for the next start.
struct RecoveryAnswer {
    enum class Choice { Keep, Restore, Discard };
    Choice choice = Choice::Keep;
    int index = 0; // the copy to restore
};

// What the editor needs from the user: the main window answers with real dialogs, tests with a
// script.
class EditorHost {
public:
    virtual ~EditorHost() = default;

    // A message box with an OK button.
    virtual void showMessage(const QString& text, const QString& title) = 0;
    // A short note that needs no answer (the window's status bar).
    virtual void showStatus(const QString& text) { (void)text; }
    // A note that needs no answer but may be longer than a status line: a save, load or edit
    // refused and why, or what an open left out. It never blocks; by default it is a status note.
    virtual void showNote(const QString& text) { showStatus(text); }
    // The save dialog (asking before an existing file is replaced); empty when cancelled.
    virtual QString askSaveFileName(const QString& filter, const QString& initialName) = 0;
    // The open dialog; empty when cancelled.
    virtual QString askOpenFileName(const QString& filter) = 0;
    // A one-line input box; nullopt when cancelled.
    virtual std::optional<QString> askText(const QString& prompt, const QString& title, const QString& defaultText) = 0;
    // The colour picker, starting on a packed colour (red + 256 green + 65536 blue); nullopt when
    // cancelled.
    virtual std::optional<std::int32_t> askColour(std::int32_t initialColour) = 0;

    // Whether to save a level with unsaved changes before it is closed.
    virtual SaveChoice askSaveChanges(const QString& levelDesc)
    {
        (void)levelDesc;
        return SaveChoice::Cancel;
    }
    // A question with Yes and No buttons; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& title)
    {
        (void)text;
        (void)title;
        return false;
    }
    // A question whose answers are `buttons` (which say what they do) and Cancel: the index of the
    // button chosen, -1 for Cancel (Escape, the window's close button). A host that cannot ask cancels.
    virtual int askChoice(const QString& text, const QString& title, const QStringList& buttons)
    {
        (void)text;
        (void)title;
        (void)buttons;
        return -1;
    }
    // The recovery copies found at start, newest first. A host that cannot ask keeps them.
    virtual RecoveryAnswer askRecovery(const std::vector<RecoveryCopy>& copies)
    {
        (void)copies;
        return {};
    }
    // The open dialog, titled `title` ("Open Level", "Load Level"), starting in `directory`
    // (empty: the dialog's own choice).
    virtual QString askOpenFileNameIn(const QString& filter, const QString& directory, const QString& title)
    {
        (void)directory;
        (void)title;
        return askOpenFileName(filter);
    }

    // Work that may take a while (running a level's script), given `cancel`, which it checks,
    // and `progress`, through which it tells a count of what it has done so far.
    using BackgroundWork =
        std::function<void(const std::atomic<bool>& cancel, const std::function<void(qint64)>& progress)>;
    // Runs `work` and returns when it is done. The window runs it off its own thread while the
    // user sees `caption`, the progress and a Cancel button; a host without a window runs it at once.
    virtual void runInBackground(const QString& caption, const BackgroundWork& work)
    {
        (void)caption;
        const std::atomic<bool> never{false};
        work(never, [](qint64) {});
    }
};

} // namespace starloom
