#pragma once

#include "editing/EditorHost.h"

#include <QPointer>

#include <QWidget>

#include <atomic>
#include <functional>

namespace starloom {

// The editor's questions answered with the platform's dialogs, modal to `parent`.
class DialogHost final : public EditorHost {
public:
    explicit DialogHost(QWidget* parent = nullptr) : m_parent(parent) {}

    void showMessage(const QString& text, const QString& title) override;
    // In the status bar of the window, for a few seconds, or where setStatusShower shows it.
    void showStatus(const QString& text) override;
    void setStatusShower(std::function<void(const QString&)> shower) { m_statusShower = std::move(shower); }
    // Runs before a message box shows, so that the window behind it shows what the message is about.
    void setBeforeMessage(std::function<void()> hook) { m_beforeMessage = std::move(hook); }
    QString askSaveFileName(const QString& filter, const QString& initialName) override;
    QString askOpenFileName(const QString& filter) override;
    QString askOpenFileNameIn(const QString& filter, const QString& directory, const QString& title) override;
    std::optional<QString> askText(const QString& prompt, const QString& title, const QString& defaultText) override;
    std::optional<std::int32_t> askColour(std::int32_t initialColour) override;
    SaveChoice askSaveChanges(const QString& levelDesc) override;
    bool askYesNo(const QString& text, const QString& title) override;
    // A message box with a button for each answer and Cancel.
    int askChoice(const QString& text, const QString& title, const QStringList& buttons) override;
    // A list of the copies, the newest selected, with "Restore", "Discard All" and "Keep for Later".
    RecoveryAnswer askRecovery(const std::vector<RecoveryCopy>& copies) override;
    // A progress dialog with Cancel while the work runs on a thread of its own; Cancel leaves the
    // dialog (and the window blocked) until the work has stopped.
    void runInBackground(const QString& caption, const BackgroundWork& work) override;
    // True while runInBackground runs work.
    bool running() const { return m_running != nullptr; }
    // Asks the work that runs to stop (runInBackground returns once it has).
    void stopRunning();

private:
    QPointer<QWidget> m_parent;
    std::function<void()> m_beforeMessage;
    std::function<void(const QString&)> m_statusShower;
    std::atomic<bool>* m_running = nullptr; // the cancel flag of the work running
    bool m_stopping = false;                // stopRunning() asked it to stop
};

} // namespace starloom
