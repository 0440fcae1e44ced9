#pragma once

// What the parts of the main window share (MainWindow.cpp: the handlers and the refresh;
// MainWindowLayout.cpp: its menus, views and panel and where they stand). Internal to app/.

#include "MainWindow.h"

#include "editing/Editor.h"

#include <QString>
#include <QWidget>

#include <array>

namespace starloom {

namespace mainwindow {

// The layout rules measure the window from its outer edges: two 4-pixel borders and a 19-pixel
// caption around the menu bar and the client area.
inline constexpr double nonClientWidthTwips = 120;
inline constexpr double nonClientHeightTwips = 405;

inline constexpr double listWidthTwips = 1995;
inline constexpr double frameWidthTwips = 2775;
inline constexpr double defaultWidthTwips = 15000;
inline constexpr double defaultHeightTwips = 10500;
inline constexpr double objectColumnTwips = 1700.22;
// The "Add Item" panel starts this far right of the "Zoom Out" button at the smallest width, and
// its lowest control and its border end this far down inside it.
inline constexpr double zoomOutRightTwips = 7995;
inline constexpr double panelGapTwips = 105;
inline constexpr double panelContentBottomTwips = 6075;

inline void setShown(QWidget* widget, bool shown)
{
    if (widget->isHidden() == shown)
        widget->setVisible(shown);
}

inline QString name(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace mainwindow

template <class F> void MainWindow::handle(F&& handler)
{
    // While a script runs the window takes no other command (Exit stops the script: exitProgram).
    if (m_refreshing || m_dialogs.running())
        return;
    ++m_handlerDepth;
    handler();
    --m_handlerDepth;
    refresh();
}

} // namespace starloom
