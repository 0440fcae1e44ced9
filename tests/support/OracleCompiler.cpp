#include "OracleCompiler.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace starloom::test {

namespace {

#ifdef STARLOOM_LUAC40
const QString luac40 = QStringLiteral(STARLOOM_LUAC40);
#else
const QString luac40;
#endif

} // namespace

QString compilerMissing()
{
    if (luac40.isEmpty())
        return QStringLiteral("no Lua 4.0 oracle (../shared/oracle) beside the checkout when it was configured");
    if (!QFileInfo::exists(luac40))
        return QStringLiteral("Lua 4.0's compiler was not built at %1").arg(luac40);
    return {};
}

QByteArray compileWithOracle(const QString& level, QString* error)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("compiled.level"));
    QProcess luac;
    luac.start(luac40, {QStringLiteral("-o"), out, level});
    luac.waitForFinished(120000);
    if (luac.exitStatus() != QProcess::NormalExit || luac.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(luac.readAllStandardError());
        return {};
    }
    return readBytes(out);
}

QByteArray compileTextWithOracle(const QByteArray& text, QString* error)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("source.level"));
    writeBytes(in, text);
    return compileWithOracle(in, error);
}

} // namespace starloom::test
