#include "Environment.h"

#include <QDir>

namespace starloom {

QString SystemEnvironment::variable(const QString& name) const
{
    return qEnvironmentVariable(name.toLocal8Bit().constData());
}

QString SystemEnvironment::homePath() const
{
    return QDir::homePath();
}

bool SystemEnvironment::isWindows() const
{
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

} // namespace starloom
