#include "DialogHost.h"

#include "document/MapSettings.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace starloom {

void DialogHost::showMessage(const QString& text, const QString& title)
{
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
    return askOpenFileNameIn(filter, QString());
}

QString DialogHost::askOpenFileNameIn(const QString& filter, const QString& directory)
{
    return QFileDialog::getOpenFileName(m_parent, QStringLiteral("Load Level"), directory, filter);
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

} // namespace starloom
