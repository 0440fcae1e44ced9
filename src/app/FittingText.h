#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>

#include <type_traits>

namespace starloom {

// A label or a button that shows the first of its forms that fits the room it is given (the
// longest form first, the shortest last), so that its text is never cut off: the status bar's
// counts shorten from "Starts 2 · Asteroids 309" to "311 items" rather than lose letters. It asks
// for the room of its longest form and makes do with that of its shortest; while a shorter form
// shows, the longest is its tooltip.
template <class Base> class FittingText : public Base {
public:
    using Base::Base;

    void setForms(const QStringList& forms)
    {
        if (forms == m_forms)
            return;
        m_forms = forms;
        // The layout may give it no less than its shortest form.
        this->setMinimumWidth(m_forms.isEmpty() ? 0 : widthFor(m_forms.last()));
        this->updateGeometry();
        choose();
    }
    const QStringList& forms() const { return m_forms; }

    // The width a text takes in this widget, margins and the button's frame included.
    int widthFor(const QString& text) const
    {
        const QFontMetrics metrics = this->fontMetrics();
        const int textWidth = metrics.horizontalAdvance(text);
        if constexpr (std::is_base_of_v<QPushButton, Base>) {
            QStyleOptionButton option;
            option.initFrom(this);
            option.text = text;
            option.features = this->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
            return this->style()
                ->sizeFromContents(QStyle::CT_PushButton, &option, QSize(textWidth, metrics.height()), this)
                .width();
        } else {
            const QMargins m = this->contentsMargins();
            return textWidth + m.left() + m.right() + 2 * this->margin();
        }
    }

    QSize sizeHint() const override { return sized(Base::sizeHint(), true); }
    QSize minimumSizeHint() const override { return sized(Base::minimumSizeHint(), false); }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        Base::resizeEvent(event);
        choose();
    }

private:
    QSize sized(QSize size, bool longest) const
    {
        if (!m_forms.isEmpty())
            size.setWidth(widthFor(longest ? m_forms.first() : m_forms.last()));
        return size;
    }
    void choose()
    {
        if (m_forms.isEmpty()) {
            this->setText(QString());
            this->setToolTip(QString());
            return;
        }
        QString shown = m_forms.last();
        for (const QString& form : m_forms) {
            if (widthFor(form) <= this->width()) {
                shown = form;
                break;
            }
        }
        if (this->text() != shown)
            this->setText(shown);
        const QString tip = shown == m_forms.first() ? QString() : m_forms.first();
        if (this->toolTip() != tip)
            this->setToolTip(tip);
    }

    QStringList m_forms;
};

using FittingLabel = FittingText<QLabel>;
using FittingButton = FittingText<QPushButton>;

} // namespace starloom
