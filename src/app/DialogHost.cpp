#include "DialogHost.h"

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
    return QFileDialog::getOpenFileName(m_parent, QStringLiteral("Load Level"), QString(), filter);
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

QString ForwardingHost::askOpenFileName(const QString& filter)
{
    if (m_presetOpen) {
        QString path = std::move(*m_presetOpen);
        m_presetOpen.reset();
        return path;
    }
    return m_target->askOpenFileName(filter);
}

} // namespace starloom
