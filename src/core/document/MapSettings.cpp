#include "MapSettings.h"

#include <QRegularExpression>

namespace starloom {

QString programTitle()
{
    return QStringLiteral("Star Loom Deluxe Edition v") + QLatin1String(versionText);
}

QString plainDescription(const QString& levelDesc)
{
    static const QRegularExpression tags(
        QStringLiteral("<c=[0-9A-Fa-f]{6}>|</c>"), QRegularExpression::CaseInsensitiveOption);
    QString text = levelDesc;
    return text.remove(tags).simplified();
}

const QStringList& playerCountEntries()
{
    static const QStringList entries = [] {
        QStringList l;
        for (int n = 2; n <= maxPlayerCount; ++n)
            l << QStringLiteral("%1 Players").arg(n);
        return l;
    }();
    return entries;
}

const QStringList& backgroundEntries()
{
    static const QStringList entries = [] {
        QStringList l;
        for (int n = 1; n <= 15; ++n)
            l << QStringLiteral("m%1").arg(n, 2, 10, QLatin1Char('0'));
        return l;
    }();
    return entries;
}

const QStringList& musicEntries()
{
    static const QStringList entries = [] {
        QStringList l;
        for (int n = 1; n <= 14; ++n)
            l << QStringLiteral("Ambient/amb_%1").arg(n, 2, 10, QLatin1Char('0'));
        l << QStringLiteral("Battle/battle_01") << QStringLiteral("Battle/battle_04")
          << QStringLiteral("Battle/battle_04_alt") << QStringLiteral("Battle/battle_06")
          << QStringLiteral("Battle/battle_keeper") << QStringLiteral("Battle/battle_movers")
          << QStringLiteral("Battle/planet_killers") << QStringLiteral("Battle/battle_sajuuk")
          << QStringLiteral("Battle/bentus_arrival");
        return l;
    }();
    return entries;
}

const QStringList& fontSizeEntries()
{
    static const QStringList entries = [] {
        QStringList l;
        for (int n = 2; n <= 12; ++n)
            l << QStringLiteral(" %1").arg(n);
        return l;
    }();
    return entries;
}

} // namespace starloom
