#pragma once

// A level held in memory, read from bytes and written to bytes, for the level file tests.

#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"

#include "TestSupport.h"

#include <QBuffer>

#include <string>
#include <vector>

namespace starloom::test {

// A level with the catalogue it is read and written with and the result of its last read.
struct LevelIO : Level {
    Catalogue catalogue;
    ReadResult result;

    void read(QByteArray bytes)
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ModelLists models(catalogue);
        result = readLevel(buffer, *this, models);
    }
    // `liveStartsOnly`: without the start points of empty slots (a level that is not complete).
    QByteArray write(bool liveStartsOnly = false) const
    {
        ModelLists models(catalogue);
        return writeLevel(*this, models, liveStartsOnly);
    }
    bool hasProblem(const char* part) const
    {
        for (const ReadProblem& p : result.problems) {
            if (p.reason.contains(QLatin1String(part)))
                return true;
        }
        return false;
    }
    std::string problems() const { return problemsText(result.problems).toStdString(); }
};

// Call lines inside a function body.
inline QByteArray body(const char* lines)
{
    return QByteArray("function DetermChunk()\n") + lines + "\nend\n";
}

// The captions of the level's rows, in order.
inline QStringList itemTexts(const LevelIO& l)
{
    QStringList texts;
    for (const ObjectRow& row : l.rows)
        texts << row.text;
    return texts;
}

inline const PlayerTable& players(const LevelIO& l)
{
    return l.settings.players;
}

} // namespace starloom::test
