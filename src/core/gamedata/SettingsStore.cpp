#include "SettingsStore.h"

#include "document/Numbers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include <cmath>

namespace starloom {

namespace {

QString sectionKey(const QString& key)
{
    return QStringLiteral("Settings/") + key;
}

} // namespace

QSettingsStore::QSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::UserScope, applicationName(), applicationName()))
{
}

QSettingsStore::QSettingsStore(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

QSettingsStore::~QSettingsStore() = default;

std::unique_ptr<QSettingsStore> QSettingsStore::ofProgram(const QString& programName)
{
    auto store = std::make_unique<QSettingsStore>();
    store->m_settings = std::make_unique<QSettings>(QSettings::UserScope, programName, programName);
    return store;
}

QString QSettingsStore::read(const QString& key, const QString& defaultValue) const
{
    return m_settings->value(sectionKey(key), defaultValue).toString();
}

void QSettingsStore::write(const QString& key, const QString& value)
{
    m_settings->setValue(sectionKey(key), value);
    m_settings->sync();
}

QString QSettingsStore::applicationName()
{
    const QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    const QString name = QFileInfo(path).completeBaseName();
    if (!name.isEmpty())
        return name;
    const QString appName = QCoreApplication::applicationName();
    return appName.isEmpty() ? QStringLiteral("starloom") : appName;
}

QString validGridSize(const QString& stored)
{
    if (!isStrictNumber(stored))
        return defaultGridSize;
    const double v = val(stored);
    return std::isfinite(v) && v > 0 ? stored : defaultGridSize;
}

double validStoredNumber(const QString& stored, double most, double fallback)
{
    if (!isStrictNumber(stored))
        return fallback;
    const double v = val(stored);
    return std::isfinite(v) && v >= 0 && v <= most ? v : fallback;
}

int validFontSizeIndex(const QString& stored)
{
    if (!isStrictNumber(stored))
        return 4;
    const double v = roundHalfEven(val(stored));
    return v >= 0 && v <= 10 ? static_cast<int>(v) : 4;
}

} // namespace starloom
