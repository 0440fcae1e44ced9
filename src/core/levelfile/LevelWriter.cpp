#include "LevelWriter.h"

#include "document/Numbers.h"

#include <array>
#include <charconv>
#include <vector>

namespace starloom {

namespace {

// Collects the script as 8-bit text; every line ends with CR LF.
class ScriptText {
public:
    explicit ScriptText(ModelLists& models)
        : m_models(models)
    {
        m_bytes.reserve(1 << 20);
    }

    ScriptText& operator<<(const char* text)
    {
        m_bytes.append(text);
        return *this;
    }
    ScriptText& operator<<(long long value)
    {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, value);
        m_bytes.append(buf, r.ptr - buf);
        return *this;
    }
    ScriptText& operator<<(int value) { return *this << static_cast<long long>(value); }
    ScriptText& operator<<(std::int16_t value) { return *this << static_cast<long long>(value); }
    // Unquoted text written as held (sizes and camera distances).
    ScriptText& operator<<(const QString& text)
    {
        m_bytes.append(text.toLatin1());
        return *this;
    }
    void end() { m_bytes.append("\r\n"); }

    // A quoted text with Lua escapes.
    void quoted(const QString& text)
    {
        m_bytes.append('"');
        m_bytes.append(luaEscape(text).toLatin1());
        m_bytes.append('"');
    }
    // The quoted model name of a record: the list entry, or the custom name for a model that is
    // in no list.
    void model(ItemKind kind, std::int16_t modelIndex, const QString& customName)
    {
        if (modelIndex == -1) {
            quoted(customName);
            return;
        }
        auto& cache = m_quotedEntries[static_cast<std::size_t>(typeIdOf(kind))];
        if (cache.empty()) {
            for (const QString& entry : m_models.list(kind))
                cache.push_back('"' + luaEscape(entry).toLatin1() + '"');
        }
        if (modelIndex >= 0 && static_cast<std::size_t>(modelIndex) < cache.size())
            m_bytes.append(cache[static_cast<std::size_t>(modelIndex)]);
        else
            m_bytes.append("\"\"");
    }
    void position(std::int32_t x, std::int32_t y, std::int32_t z)
    {
        // Positions go top-view X, then height, then top-view Y.
        *this << "{" << x << ", " << z << ", " << y << "}";
    }
    void colour(const CloudRecord& r)
    {
        *this << "{";
        component(r.red);
        *this << ", ";
        component(r.green);
        *this << ", ";
        component(r.blue);
        *this << ", 1}";
    }

    QByteArray bytes() const { return m_bytes; }

private:
    void component(std::int16_t c)
    {
        if (c == 0)
            m_bytes.append('0');
        else if (c == 255)
            m_bytes.append('1');
        else
            m_bytes.append(doubleText(c / 255.0).toLatin1());
    }

    ModelLists& m_models;
    QByteArray m_bytes;
    std::array<std::vector<QByteArray>, 10> m_quotedEntries;
};

template <class Rec, class F>
void eachLive(const std::vector<Rec>& array, F&& f)
{
    for (std::size_t i = 0; i + 1 < array.size(); ++i) {
        if (array[i].deleted == 0)
            f(array[i]);
    }
}

// "  addSquadron(NAME, NAME, {X, Z, Y}": megaliths and ships name their model twice.
template <class Rec>
void squadron(ScriptText& out, ItemKind kind, const Rec& r)
{
    out << "  addSquadron(";
    out.model(kind, r.modelIndex, r.customName);
    out << ", ";
    out.model(kind, r.modelIndex, r.customName);
    out << ", ";
    out.position(r.posX, r.posY, r.posZ);
}

void cloudLines(ScriptText& out, const LevelDocument& doc, ItemKind kind)
{
    eachLive(doc.clouds(kind), [&](const CloudRecord& r) {
        switch (kind) {
        case ItemKind::Cloud: out << "  addCloud(\"polySurface1\", "; break;
        case ItemKind::DustCloud: out << "  addDustCloud(\"polySurface1\", "; break;
        default:
            // A nebula names itself first; a custom one names its model in both arguments.
            out << "  addNebula(";
            out.model(kind, r.modelIndex, r.customName);
            out << ", ";
            break;
        }
        out.model(kind, r.modelIndex, r.customName);
        out << ", ";
        out.position(r.posX, r.posY, r.posZ);
        out << ", ";
        out.colour(r);
        out << ", 0.0, " << r.size << ")";
        out.end();
    });
}

} // namespace

QString missingStartsMessage()
{
    return QStringLiteral("You haven't specified all the player starting positions!");
}

bool hasAllPlayerStarts(const LevelDocument& document, const MapSettings& settings)
{
    const int n = settings.playerCount();
    for (int slot = 0; slot < n; ++slot) {
        if (slot >= playerSlots || document.player(slot).label.isEmpty())
            return false;
    }
    return true;
}

QString luaEscape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'"': out += QLatin1String("\\\""); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        default: out += c; break;
        }
    }
    return out;
}

QByteArray writeLevel(const LevelDocument& doc, const MapSettings& settings, ModelLists& models, bool liveStartsOnly)
{
    ScriptText out(models);
    const int n = std::clamp(settings.playerCount(), 0, playerSlots);
    out << "-- Generated by Star Loom DX v" << versionMajor << "." << versionMinor;
    out.end();
    out << "-- Star Loom by Quenrik";
    out.end();
    out << "-- StarloomDX by Vorlan, May 2004";
    out.end();
    out << "levelDesc = ";
    out.quoted(settings.levelDesc);
    out.end();
    out << "maxPlayers = " << n;
    out.end();
    out.end();
    out << "player = {}";
    out.end();
    out.end();
    for (int i = 0; i < n; ++i) {
        out << "player[" << i << "] = {\r\n  id = " << i << ",\r\n  name = \"Vaygr\",\r\n  resources = 1500,\r\n"
            << "  raceID = 1,\r\n  startPos = 1,\r\n}\r\n\r\n";
    }
    out << "function DetermChunk()";
    out.end();
    for (int i = 0; i < n; ++i) {
        const PlayerStartRecord& p = doc.player(i);
        if (liveStartsOnly && p.label.isEmpty())
            continue;
        out << "  addPoint(\"StartPos" << i << "\", ";
        out.position(p.posX, p.posY, p.posZ);
        out << ", {0, " << floatText(p.orientation) << ", 0})";
        out.end();
    }
    eachLive(doc.resources(ItemKind::Asteroid), [&](const ResourceRecord& r) {
        out << "  addAsteroid(";
        if (r.modelIndex == -1)
            out.quoted(r.customName);
        else
            out << "\"Asteroid_" << r.modelIndex + 1 << "\"";
        out << ", ";
        out.position(r.posX, r.posY, r.posZ);
        out << ", " << r.resourcePercent << ", 0, 0, 0, 0)";
        out.end();
    });
    cloudLines(out, doc, ItemKind::Cloud);
    cloudLines(out, doc, ItemKind::DustCloud);
    eachLive(doc.props(ItemKind::Megalith), [&](const PropRecord& r) {
        squadron(out, ItemKind::Megalith, r);
        out << ", -1, {0, 0, 0}, 0, 0)";
        out.end();
    });
    cloudLines(out, doc, ItemKind::Nebula);
    eachLive(doc.resources(ItemKind::Salvage), [&](const ResourceRecord& r) {
        out << "  addSalvage(";
        out.model(ItemKind::Salvage, r.modelIndex, r.customName);
        out << ", ";
        out.position(r.posX, r.posY, r.posZ);
        out << ", " << r.resourcePercent << ", 0, 0, 0, 0)";
        out.end();
    });
    eachLive(doc.ships(), [&](const ShipRecord& r) {
        squadron(out, ItemKind::Ship, r);
        // The rotation table holds orientation, rotation2, rotation1 (the axis order of positions).
        out << ", " << r.player << ", {" << r.orientation << ", " << r.rotation2 << ", " << r.rotation1 << "}, 0, 0)";
        out.end();
    });
    out << "  setWorldBoundsInner({0, 0, 0}, {" << settings.sizeX << ", " << settings.sizeZ << ", " << settings.sizeY
        << "})";
    out.end();
    out << "end";
    out.end();
    out.end();
    out << "function NonDetermChunk()";
    out.end();
    eachLive(doc.props(ItemKind::Pebble), [&](const PropRecord& r) {
        out << "  addPebble(";
        out.model(ItemKind::Pebble, r.modelIndex, r.customName);
        out << ", ";
        out.position(r.posX, r.posY, r.posZ);
        out << ", 0, 0, 0) ";
        out.end();
    });
    out << "  fogSetActive(0)\r\n  setGlareIntensity(0)\r\n  setLevelShadowColour(0, 0, 0, 1)\r\n";
    out << "  loadBackground(";
    out.quoted(settings.background);
    out << ")";
    out.end();
    out << "  setSensorsManagerCameraDistances(" << settings.cameraMin << ", " << settings.cameraMax << ")";
    out.end();
    out << "  setDefaultMusic(";
    out.quoted(QStringLiteral("Data:sound/music/") + settings.music);
    out << ")";
    out.end();
    out << "end";
    out.end();
    return out.bytes();
}

} // namespace starloom
