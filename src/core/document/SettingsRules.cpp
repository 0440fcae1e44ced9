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

const std::vector<RuledSetting>& ruledSettings()
{
    static const std::vector<RuledSetting> settings = {
        {"SizeX", &MapSettings::sizeX, true},
        {"SizeY", &MapSettings::sizeY, true},
        {"SizeZ", &MapSettings::sizeZ, true},
        {"CameraMin", &MapSettings::cameraMin, false},
        {"CameraMax", &MapSettings::cameraMax, false},
    };
    return settings;
}

QString settingError(const RuledSetting& setting, const QString& text)
{
    const QString caption = QString::fromLatin1(setting.caption);
    if (setting.positive)
        return positiveError(caption, text);
    if (!isPlainNumber(text) || val(text) < 0)
        return QStringLiteral("%1 must be a number of 0 or more.").arg(caption);
    return {};
}

QString levelSettingsError(const MapSettings& settings)
{
    for (const RuledSetting& setting : ruledSettings()) {
        if (QString error = settingError(setting, settings.*setting.field); !error.isEmpty())
            return error;
    }
    return {};
}

QString gridSizeError(const QString& gridSize)
{
    return positiveError(QStringLiteral("Grid Size"), gridSize);
}

} // namespace starloom
