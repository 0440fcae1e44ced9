#include "SplashWindow.h"

#include "Twips.h"

#include "document/MapSettings.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cmath>

namespace starloom {

namespace {

constexpr int logoWidth = 468;
constexpr int logoHeight = 200;

void paintNebula(QPainter& p, QPointF centre, double radius, QColor colour)
{
    QRadialGradient g(centre, radius);
    QColor inner = colour;
    inner.setAlpha(150);
    QColor middle = colour;
    middle.setAlpha(60);
    QColor outer = colour;
    outer.setAlpha(0);
    g.setColorAt(0, inner);
    g.setColorAt(0.45, middle);
    g.setColorAt(1, outer);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius * 0.62);
}

} // namespace

void paintLogo(QPainter& p)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, logoHeight);
    sky.setColorAt(0, QColor(4, 6, 22));
    sky.setColorAt(1, QColor(10, 4, 28));
    p.fillRect(QRect(0, 0, logoWidth, logoHeight), sky);

    p.setCompositionMode(QPainter::CompositionMode_Plus);
    paintNebula(p, {300, 95}, 190, QColor(110, 40, 150));
    paintNebula(p, {380, 140}, 120, QColor(20, 110, 140));
    paintNebula(p, {150, 60}, 110, QColor(140, 50, 60));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    // A fixed seed: the same sky every time.
    QRandomGenerator stars(1606);
    for (int i = 0; i < 420; ++i) {
        const double x = stars.bounded(double(logoWidth));
        const double y = stars.bounded(double(logoHeight));
        const int level = 90 + stars.bounded(166);
        const double size = stars.bounded(100) < 6 ? 1.6 : 0.7;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(level, level, std::min(255, level + 30)));
        p.drawEllipse(QPointF(x, y), size, size);
    }

    // Threads of the loom: orbits around a bright star.
    const QPointF sun(395, 150);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i) {
        QPen thread(QColor(255, 220, 120, 120 - i * 18), 1.0);
        p.setPen(thread);
        p.save();
        p.translate(sun);
        p.rotate(-18 + i * 9);
        p.drawEllipse(QPointF(0, 0), 40.0 + i * 26, 10.0 + i * 6);
        p.restore();
    }
    QRadialGradient glow(sun, 18);
    glow.setColorAt(0, QColor(255, 250, 220));
    glow.setColorAt(0.3, QColor(255, 210, 120, 200));
    glow.setColorAt(1, QColor(255, 160, 60, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(sun, 18, 18);

    // The name, in gold with a soft shadow.
    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(36);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    QPainterPath name;
    name.addText(146, 46, title, QStringLiteral("STAR LOOM"));
    p.translate(2, 2);
    p.fillPath(name, QColor(0, 0, 0, 160));
    p.translate(-2, -2);
    QLinearGradient gold(0, 14, 0, 50);
    gold.setColorAt(0, QColor(255, 244, 200));
    gold.setColorAt(0.5, QColor(240, 196, 90));
    gold.setColorAt(1, QColor(170, 110, 40));
    p.fillPath(name, gold);

    QFont subtitle(QStringLiteral("DejaVu Sans"));
    subtitle.setPixelSize(14);
    subtitle.setItalic(true);
    subtitle.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(subtitle);
    p.setPen(QColor(190, 210, 255));
    p.drawText(QRectF(148, 52, 300, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Deluxe Edition"));
    p.restore();
}

QImage makeLogo()
{
    QImage image(logoWidth, logoHeight, QImage::Format_RGB32);
    QPainter p(&image);
    paintLogo(p);
    p.end();
    return image;
}

SplashWindow::SplashWindow(QWidget* parent) : QWidget(parent, Qt::Dialog), m_logo(makeLogo())
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("About"));
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    auto at = [dpiX, dpiY](QWidget* w, double left, double top, double width, double height) {
        w->setGeometry(twipsToPixels(left, dpiX), twipsToPixels(top, dpiY), twipsToPixels(width, dpiX),
            twipsToPixels(height, dpiY));
    };
    setFixedSize(twipsToPixels(7035, dpiX), twipsToPixels(3015, dpiY));

    QFont labelFont(QStringLiteral("MS Sans Serif"));
    labelFont.setStyleHint(QFont::SansSerif);
    labelFont.setPointSizeF(8.25);
    labelFont.setBold(true);
    QPalette light = palette();
    light.setColor(QPalette::WindowText, QColor(235, 235, 255));

    auto* version = new QLabel(QStringLiteral("v") + QLatin1String(versionText), this);
    version->setObjectName(QStringLiteral("Label2"));
    version->setFont(labelFont);
    version->setPalette(light);
    at(version, 6000, 780, 975, 255);

    auto* credits = new QLabel(QStringLiteral("Star Loom DX by the Star Loom DX team\n"
                                              "Thanks to:\n"
                                              "the first Star Loom's author and our logo designer"),
        this);
    credits->setObjectName(QStringLiteral("Label1"));
    credits->setFont(labelFont);
    credits->setPalette(light);
    credits->setWordWrap(true);
    credits->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    at(credits, 300, 900, 1815, 1755);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    at(close, 5880, 2580, 1095, 375);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
}

void SplashWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), m_logo);
}

} // namespace starloom
