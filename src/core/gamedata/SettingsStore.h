#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace starloom {

// The per-user store of the display settings, section "Settings".
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString read(const QString& key, const QString& defaultValue) const = 0;
    virtual void write(const QString& key, const QString& value) = 0;
};

inline const QString gridSizeKey = QStringLiteral("GridSize");
inline const QString fontSizeKey = QStringLiteral("FontSize");
inline const QString defaultGridSize = QStringLiteral("2500");
inline const QString defaultFontSize = QStringLiteral("4");
// The checks' settings: the least distance between start points in world units, and the most the
// richest and the poorest player's resources may differ by, in per cent.
inline const QString minStartDistanceKey = QStringLiteral("MinStartDistance");
inline const QString fairSharePercentKey = QStringLiteral("FairSharePercent");
// "Stretch to Fill": "1" when each axis of the top view fills the view on its own.
inline const QString stretchToFillKey = QStringLiteral("StretchToFill");

// QSettings with the executable's base name as organisation and application name (on Linux
// ~/.config/starloom/starloom.conf), or a
// given INI file (tests).
class QSettingsStore final : public SettingsStore {
public:
    QSettingsStore();
    explicit QSettingsStore(const QString& iniFile);
    // The store of another program of this user ("starloom" for the editor's, read by the tool).
    static std::unique_ptr<QSettingsStore> ofProgram(const QString& programName);
    ~QSettingsStore() override;

    QString read(const QString& key, const QString& defaultValue) const override;
    void write(const QString& key, const QString& value) override;

    // The executable's file name without its extension ("starloom").
    static QString applicationName();

private:
    std::unique_ptr<QSettings> m_settings;
};

// The stored grid size when it is a positive number, otherwise "2500".
QString validGridSize(const QString& stored);
// The stored font-size list index when it is a whole number from 0 to 10, otherwise 4.
int validFontSizeIndex(const QString& stored);
// The stored number when it is a finite number from 0 to `most`, otherwise `fallback`.
double validStoredNumber(const QString& stored, double most, double fallback);

} // namespace starloom
