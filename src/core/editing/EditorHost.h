#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace starloom {

// The answer to "save the level first?".
enum class SaveChoice { Save, Discard, Cancel };

// What the editor needs from the user: the main window answers with real dialogs, tests with a
// script.
class EditorHost {
public:
    virtual ~EditorHost() = default;

    // A message box with an OK button.
    virtual void showMessage(const QString& text, const QString& title) = 0;
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
    // The open dialog starting in `directory` (empty: the dialog's own choice).
    virtual QString askOpenFileNameIn(const QString& filter, const QString& directory)
    {
        (void)directory;
        return askOpenFileName(filter);
    }
};

} // namespace starloom
