#include "SettingsRules.h"

#include "Numbers.h"

#include <algorithm>
#include <cmath>

namespace starloom {

namespace {

QString positiveError(const QString& caption, const QString& text)
{
    if (isPlainNumber(text) && val(text) > 0)
        return {};
    return QStringLiteral("%1 must be a positive number.").arg(caption);
}

} // namespace

bool isPlainNumber(const QString& text)
{
    const QString t = text.trimmed();
    const bool plain = !t.isEmpty() && !t.startsWith(QLatin1Char('+'))
        && std::none_of(t.begin(), t.end(), [](QChar c) { return c.isSpace() || c == u'd' || c == u'D'; });
    return plain && isStrictNumber(text) && std::isfinite(val(text));
}

QString levelSettingsError(const MapSettings& settings)
{
    for (const auto& [caption, text] : {std::pair(QStringLiteral("SizeX"), settings.sizeX),
             std::pair(QStringLiteral("SizeY"), settings.sizeY), std::pair(QStringLiteral("SizeZ"), settings.sizeZ)}) {
        if (QString error = positiveError(caption, text); !error.isEmpty())
            return error;
    }
    for (const auto& [caption, text] : {std::pair(QStringLiteral("CameraMin"), settings.cameraMin),
             std::pair(QStringLiteral("CameraMax"), settings.cameraMax)}) {
        if (!isPlainNumber(text) || val(text) < 0)
            return QStringLiteral("%1 must be a number of 0 or more.").arg(caption);
    }
    return {};
}

QString gridSizeError(const QString& gridSize)
{
    return positiveError(QStringLiteral("Grid Size"), gridSize);
}

} // namespace starloom
