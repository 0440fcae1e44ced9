#include "AppIcon.h"

#include "SplashWindow.h"

#include <QPainter>

namespace starloom {

QImage makeAppIcon(int size)
{
    // The square of the logo, in its units, around the bright star, clear of the lettering.
    const QRectF region(340, 72, 128, 128);
    QImage square(size, size, QImage::Format_RGB32);
    QPainter logo(&square);
    logo.scale(size / region.width(), size / region.height());
    logo.translate(-region.topLeft());
    paintLogo(logo);
    logo.end();

    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(square);
    const double corner = size * 0.18;
    p.drawRoundedRect(QRectF(0, 0, size, size), corner, corner);
    p.end();
    return icon;
}

} // namespace starloom
