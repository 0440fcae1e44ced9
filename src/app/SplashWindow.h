#pragma once

#include <QImage>
#include <QWidget>

class QPainter;

namespace starloom {

// The program's logo, 468 x 200 pixels: a nebula and a starfield woven with orbit threads, with
// the program's name. Drawn in code, the same every time.
QImage makeLogo();

// Paints the logo into the painter's 468 x 200 units from (0, 0), under its transform; the
// painter's state is left as it was.
void paintLogo(QPainter& painter);

// frmSplash, the about window: the logo as background, the version (Label2), three credit lines
// (Label1) and "Close" (cmdClose), which hides the window for the next "About".
class SplashWindow final : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_logo;
};

} // namespace starloom
