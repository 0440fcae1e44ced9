#pragma once

#include "editing/EditorHost.h"

#include <QPointer>
#include <QWidget>

namespace starloom {

// The editor's questions answered with the platform's dialogs, modal to `parent`.
class DialogHost final : public EditorHost {
public:
    explicit DialogHost(QWidget* parent = nullptr)
        : m_parent(parent)
    {
    }

    void setParent(QWidget* parent) { m_parent = parent; }

    void showMessage(const QString& text, const QString& title) override;
    QString askSaveFileName(const QString& filter, const QString& initialName) override;
    QString askOpenFileName(const QString& filter) override;
    std::optional<QString> askText(const QString& prompt, const QString& title, const QString& defaultText) override;
    std::optional<std::int32_t> askColour(std::int32_t initialColour) override;

private:
    QPointer<QWidget> m_parent;
};

// Forwards to another host, except that the next open dialog can be answered in advance: this is
// how a level named on the command line is loaded through the ordinary "Load Level" command.
class ForwardingHost final : public EditorHost {
public:
    explicit ForwardingHost(EditorHost& target)
        : m_target(&target)
    {
    }

    void setTarget(EditorHost& target) { m_target = &target; }
    // The answer of the next askOpenFileName, which then does not reach the target.
    void presetOpenFileName(const QString& path) { m_presetOpen = path; }

    void showMessage(const QString& text, const QString& title) override { m_target->showMessage(text, title); }
    QString askSaveFileName(const QString& filter, const QString& initialName) override
    {
        return m_target->askSaveFileName(filter, initialName);
    }
    QString askOpenFileName(const QString& filter) override;
    std::optional<QString> askText(const QString& prompt, const QString& title, const QString& defaultText) override
    {
        return m_target->askText(prompt, title, defaultText);
    }
    std::optional<std::int32_t> askColour(std::int32_t initialColour) override
    {
        return m_target->askColour(initialColour);
    }

private:
    EditorHost* m_target;
    std::optional<QString> m_presetOpen;
};

} // namespace starloom
