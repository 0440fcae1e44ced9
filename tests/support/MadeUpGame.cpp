#include "MadeUpGame.h"

#include "BigArchiveWriter.h"
#include "OracleCompiler.h"
#include "TestSupport.h"

#include <QDir>

namespace starloom::test {

namespace {

QByteArray map(const char* players, const char* description)
{
    return QByteArray("maxPlayers = ") + players + "\nlevelDesc = \"" + description
        + "\"\nfunction DetermChunk()\n  addPoint(\"StartPos0\", {0, 0, 1000}, {0, 0, 0})\n"
          "  addPoint(\"StartPos1\", {0, 0, -1000}, {0, 0, 0})\nend\nfunction NonDetermChunk()\nend\n";
}

} // namespace

QString writeMadeUpGame(const QString& gameFolder)
{
    const QString data = gameFolder + QStringLiteral("/Data");
    QDir().mkpath(data + QStringLiteral("/LevelData/Multiplayer/Deathmatch"));
    writeBytes(data + QStringLiteral("/LevelData/Multiplayer/Deathmatch/2P_Loose.level"), map("2", "Loose pair"));
    writeBytes(data + QStringLiteral("/LevelData/Multiplayer/Deathmatch/Shadow.level"), map("3", "Loose shadow"));

    QByteArray four = "maxPlayers = 4\ndofilepath(\"data:scripts/desc.lua\")\n"
                      "function DetermChunk()\n  for i = 0, 3 do\n"
                      "    addPoint(\"StartPos\" .. i, {i * 1000, 0, 0}, {0, 0, 0})\n  end\nend\n"
                      "function NonDetermChunk()\n  setWorldBoundsInner({0, 0, 0}, {20000, 20000, 20000})\nend\n";
    QByteArray broken = "maxPlayers = 5\nlevelDesc = \"Broken\"\nlocal t = nil\nt.x = 1\n";
    const QByteArray desc = "levelDesc = \"Compiled \" .. \"four\"\n";
    QByteArray compiledDesc = desc;
    QString why = compilerMissing();
    if (why.isEmpty()) {
        QString error;
        const QByteArray a = compileTextWithOracle(four, &error);
        const QByteArray b = compileTextWithOracle(broken, &error);
        const QByteArray c = compileTextWithOracle(desc, &error);
        if (a.isEmpty() || b.isEmpty() || c.isEmpty()) {
            why = QStringLiteral("luac40 failed: %1").arg(error);
        } else {
            four = a;
            broken = b;
            compiledDesc = c;
        }
    }
    writeBigArchiveFile(data + QStringLiteral("/Homeworld2.big"),
        {{"leveldata\\multiplayer\\deathmatch\\shadow.level", map("6", "Archived shadow")},
            {"leveldata\\multiplayer\\deathmatch\\4p_compiled.level", four, true},
            {"leveldata\\multiplayer\\broken.level", broken}, {"leveldata\\multiplayer\\notes.txt", "notes"},
            {"leveldata\\campaign\\m01.level", map("1", "Campaign")}, {"scripts\\desc.lua", compiledDesc}});
    return why;
}

} // namespace starloom::test
