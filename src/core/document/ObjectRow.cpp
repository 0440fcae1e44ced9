#include "ObjectRow.h"

namespace starloom {

qsizetype rowFromKey(QStringView key)
{
    if (key.size() < 2 || key.back() != QLatin1Char('o'))
        return -1;
    bool ok = false;
    const qlonglong n = key.chopped(1).toLongLong(&ok);
    if (!ok || n < 0 || key.front() == QLatin1Char('+'))
        return -1;
    return static_cast<qsizetype>(n);
}

} // namespace starloom
