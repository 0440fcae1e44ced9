// Writes small valid .big archives into the folder named on the command line:
// the archive fuzzer's first corpus.

#include "BigArchiveWriter.h"

#include <QDir>
#include <QStringList>

using namespace starloom::test;

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const std::vector<BigEntry> entries = {{"scripts\\lib.lua", "function f() return 1 end\n"},
        {"scripts\\packed.lua", QByteArray("x = 1\n").repeated(40), true}, {"ship\\hgn_scout\\hgn_scout.ship", "ship"},
        {"ship\\meg_tanis\\"}, {"pebble\\pebble_0\\pebble_0.peb", ""}};
    writeBigArchiveFile(dir + "/plain.big", entries);
    writeBigArchiveFile(dir + "/rooted.big", entries, {"Data", true});
    writeBigArchiveFile(dir + "/raw.big", entries, {"Data", false, true});
    writeBigArchiveFile(dir + "/empty.big", {});
    return 0;
}
