#pragma once

#include <QLineEdit>
#include <QString>

namespace starloom {

// Sets a text box's text only when it differs, so that the cursor and the selection of a box the
// user is typing into stay where they are.
inline void setTextIfChanged(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace starloom
