#include "DialogHost.h"

#include "document/MapSettings.h"

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

void DialogHost::runInBackground(const QString& caption, const BackgroundWork& work)
{
    // The work runs on a thread of its own. For a moment the window waits (what the user does
    // meanwhile waits too); then a dialog shows how far the work got and offers Cancel, and the
    // window stays blocked behind it until the work is done.
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::atomic<qint64> count{0};
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
    if (!done) {
        QProgressDialog dialog(caption, QStringLiteral("Cancel"), 0, 0, m_parent);
        dialog.setObjectName(QStringLiteral("dlgRunningScript"));
        dialog.setWindowTitle(programTitle());
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setMinimumDuration(0);
        dialog.show();
        QEventLoop loop;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done) {
                loop.quit();
                return;
            }
            if (dialog.wasCanceled())
                cancel = true;
            dialog.setLabelText(QStringLiteral("%1\n%2 calls recorded").arg(caption, QLocale().toString(count.load())));
        });
        loop.exec();
    }
    worker.join();
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
