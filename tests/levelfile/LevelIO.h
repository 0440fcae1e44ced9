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

struct SinkItem { ItemKind kind; int index; QString text; int x, y; };

struct Level : ItemSink {
    LevelDocument doc;
    MapSettings settings;
    Catalogue catalogue;
    ReadResult result;
    std::vector<SinkItem> items; // what the reader reported, in order

    void itemRead(ItemKind kind, std::int16_t index, const QString& text, std::int32_t x, std::int32_t y) override
    {
        items.push_back({kind, index, text, x, y});
    }
    void read(QByteArray bytes)
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ModelLists models(catalogue);
        result = readLevel(buffer, doc, settings, models, this);
    }
    // `liveStartsOnly`: without the start points of empty slots (a level that is not complete).
    QByteArray write(bool liveStartsOnly = false) const
    {
        ModelLists models(catalogue);
        return writeLevel(doc, settings, models, liveStartsOnly);
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

} // namespace starloom::test
