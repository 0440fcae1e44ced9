#include "DialogHost.h"

#include "document/MapSettings.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>
#include <vector>

namespace starloom {

void DialogHost::showMessage(const QString& text, const QString& title)
{
    if (m_beforeMessage)
        m_beforeMessage();
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

QString DialogHost::askSaveFileName(const QString& filter, const QString& initialName)
{
    // QFileDialog asks before an existing file is replaced.
    return QFileDialog::getSaveFileName(m_parent, QStringLiteral("Save Level"), initialName, filter);
}

QString DialogHost::askOpenFileName(const QString& filter)
{
    return askOpenFileNameIn(filter, QString(), QStringLiteral("Open Level"));
}

QString DialogHost::askOpenFileNameIn(const QString& filter, const QString& directory, const QString& title)
{
    return QFileDialog::getOpenFileName(m_parent, title, directory, filter);
}

namespace {

// The dialog of work running in the background: Cancel (its button, Escape, closing it) asks the
// work to stop, and the dialog stays, keeping the window from taking other commands, until the
// work has stopped.
class RunningDialog final : public QProgressDialog {
public:
    RunningDialog(const QString& caption, QWidget* parent, const bool& quitting)
        : QProgressDialog(caption, QStringLiteral("Cancel"), 0, 0, parent),
          m_quitting(quitting)
    {
        // Not hidden by Cancel, as a progress dialog otherwise is.
        QObject::disconnect(this, SIGNAL(canceled()), this, SLOT(cancel()));
    }
    void reject() override { Q_EMIT canceled(); }

protected:
    // The program quitting closes it (or it would keep the program from quitting).
    void closeEvent(QCloseEvent* event) override
    {
        if (m_quitting) {
            event->accept();
            return;
        }
        event->ignore();
        Q_EMIT canceled();
    }

private:
    const bool& m_quitting;
};

} // namespace

void DialogHost::runInBackground(const QString& caption, const BackgroundWork& work)
{
    // The work runs on a thread of its own. For a moment the window waits (what the user does
    // meanwhile waits too); then a dialog shows how far the work got and offers Cancel, and the
    // window stays blocked behind it until the work is done. Should the program quit meanwhile
    // (stopRunning), the work is cancelled and waited for.
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::atomic<qint64> count{0};
    m_running = &cancel;
    std::thread worker([&] {
        work(cancel, [&count](qint64 n) { count = n; });
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    QEventLoop quiet;
    QTimer poll;
    poll.setInterval(20);
    const auto waiting = QObject::connect(&poll, &QTimer::timeout, &quiet, [&] {
        if (done || clock.elapsed() > 400)
            quiet.quit();
    });
    poll.start();
    quiet.exec(QEventLoop::ExcludeUserInputEvents);
    QObject::disconnect(waiting);
    if (!done && !cancel) {
        RunningDialog dialog(caption, m_parent, m_stopping);
        dialog.setObjectName(QStringLiteral("dlgRunningScript"));
        dialog.setWindowTitle(programTitle());
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setMinimumDuration(0);
        dialog.setAutoReset(false);
        dialog.setAutoClose(false);
        auto stopping = [&] {
            cancel = true;
            if (QAbstractButton* button = dialog.findChild<QPushButton*>())
                button->setEnabled(false);
        };
        QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, stopping);
        dialog.show();
        QEventLoop loop;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done) {
                loop.quit();
                return;
            }
            if (dialog.wasCanceled())
                stopping();
            if (!dialog.isVisible() && !m_stopping)
                dialog.show(); // hidden some other way: it stays while the work runs
            dialog.setLabelText(cancel
                    ? QStringLiteral("%1\nStopping...").arg(caption)
                    : QStringLiteral("%1\n%2 calls recorded").arg(caption, QLocale().toString(count.load())));
        });
        loop.exec();
    }
    // The loops end early when the program quits: the work is stopped then.
    if (!done)
        cancel = true;
    worker.join();
    m_running = nullptr;
    m_stopping = false;
}

void DialogHost::stopRunning()
{
    if (m_running == nullptr)
        return;
    *m_running = true;
    m_stopping = true;
}

std::optional<QString> DialogHost::askText(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

std::optional<std::int32_t> DialogHost::askColour(std::int32_t initialColour)
{
    const QColor start(initialColour & 0xff, (initialColour >> 8) & 0xff, (initialColour >> 16) & 0xff);
    const QColor chosen = QColorDialog::getColor(start, m_parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen.red() + 256 * chosen.green() + 65536 * chosen.blue();
}

SaveChoice DialogHost::askSaveChanges(const QString& levelDesc)
{
    QMessageBox box(QMessageBox::Warning, programTitle(),
        QStringLiteral("The level \"%1\" has unsaved changes. Save them first?").arg(levelDesc),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_parent);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

bool DialogHost::askYesNo(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
}

int DialogHost::askChoice(const QString& text, const QString& title, const QStringList& buttons)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, m_parent);
    box.setObjectName(QStringLiteral("dlgChoice"));
    std::vector<QAbstractButton*> answers;
    for (const QString& caption : buttons)
        answers.push_back(box.addButton(caption, QMessageBox::AcceptRole));
    box.addButton(QMessageBox::Cancel);
    if (!answers.empty())
        box.setDefaultButton(static_cast<QPushButton*>(answers.front()));
    box.exec();
    const auto it = std::find(answers.begin(), answers.end(), box.clickedButton());
    return it == answers.end() ? -1 : static_cast<int>(it - answers.begin());
}

RecoveryAnswer DialogHost::askRecovery(const std::vector<RecoveryCopy>& copies)
{
    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("dlgRecovery"));
    dialog.setWindowTitle(programTitle());
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Unsaved work of editors that did not exit normally was found.\n"
                                                "Restore one copy, discard them all, or keep them for the next start."),
        &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lstRecovery"));
    for (const RecoveryCopy& copy : copies) {
        QString text = QStringLiteral("%1 \u00b7 %2 %3 \u00b7 \"%4\"")
                           .arg(QLocale().toString(copy.written, QLocale::LongFormat))
                           .arg(copy.items)
                           .arg(QLatin1String(copy.items == 1 ? "item" : "items"), copy.levelDesc);
        text += copy.file.isEmpty() ? QStringLiteral(" \u00b7 never saved")
                                    : QStringLiteral(" \u00b7 %1").arg(QDir::toNativeSeparators(copy.file));
        list->addItem(text);
        list->item(list->count() - 1)->setToolTip(text);
    }
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* restore = buttons->addButton(QStringLiteral("&Restore"), QDialogButtonBox::AcceptRole);
    QPushButton* discard = buttons->addButton(QStringLiteral("&Discard All"), QDialogButtonBox::DestructiveRole);
    buttons->addButton(QStringLiteral("&Keep for Later"), QDialogButtonBox::RejectRole);
    restore->setDefault(true);
    RecoveryAnswer answer;
    QObject::connect(buttons, &QDialogButtonBox::clicked, &dialog, [&](QAbstractButton* button) {
        if (button == restore)
            answer = {RecoveryAnswer::Choice::Restore, list->currentRow()};
        else if (button == discard)
            answer = {RecoveryAnswer::Choice::Discard, 0};
        dialog.done(0);
    });
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, [&] {
        answer = {RecoveryAnswer::Choice::Restore, list->currentRow()};
        dialog.done(0);
    });
    layout->addWidget(buttons);
    dialog.exec();
    return answer;
}

void DialogHost::showStatus(const QString& text)
{
    if (m_statusShower)
        m_statusShower(text);
    else if (auto* window = qobject_cast<QMainWindow*>(m_parent.data()))
        window->statusBar()->showMessage(text, 5000);
}

} // namespace starloom
