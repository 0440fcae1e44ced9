#include "LevelReader.h"

#include "SafeFile.h"
#include "Tokenizer.h"
#include "document/Numbers.h"

#include <QFile>
#include <QFileInfo>
#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

namespace starloom {

namespace {

constexpr qsizetype maxLineLength = 32767;
constexpr int maxJoinedLines = 64;
constexpr std::size_t maxKeptProblems = 1000;
constexpr qint64 chunkSize = 1 << 16;

using Words = QVarLengthArray<QStringView, 24>;

// Net count of "(" over ")" outside strings and comments.
int openParentheses(QStringView line)
{
    // A call line that ends with its closing parenthesis (a ";" may follow) is complete.
    qsizetype last = line.size() - 1;
    while (last >= 0 && (line[last] == u' ' || line[last] == u'\t' || line[last] == u';'))
        --last;
    if (last >= 0 && line[last] == u')')
        return 0;
    int depth = 0;
    QChar quote;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (!quote.isNull()) {
            if (c == u'\\')
                ++i;
            else if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'"' || c == u'\'')
            quote = c;
        else if (c == u'-' && i + 1 < line.size() && line[i + 1] == u'-')
            break;
        else if (c == u'(')
            ++depth;
        else if (c == u')')
            --depth;
    }
    return depth;
}

// One of the calls the reader takes items and settings from.
bool isCall(QStringView word)
{
    static const QStringView calls[] = {u"addPoint",          u"addSalvage",     u"addAsteroid",
                                        u"addCloud",          u"addDustCloud",   u"addSquadron",
                                        u"addNebula",         u"addPebble",      u"setWorldBoundsInner",
                                        u"loadBackground",    u"setDefaultMusic", u"setSensorsManagerCameraDistances"};
    return std::find(std::begin(calls), std::end(calls), word) != std::end(calls);
}

QStringView rawFirstWord(QStringView line)
{
    qsizetype end = 0;
    while (end < line.size() && line[end] != u' ' && line[end] != u'\t')
        ++end;
    return line.left(end);
}

// A Lua string literal at the start of `text` (after blanks), decoded; nullopt when there is none.
std::optional<QString> leadingLuaString(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    if (i >= text.size() || (text[i] != u'"' && text[i] != u'\''))
        return std::nullopt;
    const QChar quote = text[i++];
    QString out;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == quote)
            return out;
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar e = text[++i];
            switch (e.unicode()) {
            case u'n': out += QLatin1Char('\n'); break;
            case u'r': out += QLatin1Char('\r'); break;
            case u't': out += QLatin1Char('\t'); break;
            default: out += e; break;
            }
            continue;
        }
        out += c;
    }
    return std::nullopt;
}

// A quoted word as the program meant it: the escapes the writer makes (backslash, quotes, CR, LF)
// are undone, so that a name goes through any number of saves and loads unchanged.
QString luaUnescape(QStringView word)
{
    if (!word.contains(u'\\'))
        return word.toString();
    QString out;
    out.reserve(word.size());
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar c = word[i];
        if (c == u'\\' && i + 1 < word.size()) {
            const QChar e = word[i + 1];
            const QChar decoded = e == u'n' ? QChar(u'\n') : e == u'r' ? QChar(u'\r') : e;
            if (e == u'\\' || e == u'"' || e == u'\'' || e == u'n' || e == u'r') {
                out += decoded;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// A block in which more than one byte in eight is a control character is not text.
bool looksBinary(const QByteArray& head)
{
    qsizetype controls = 0;
    for (char c : head) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v')
            ++controls;
    }
    return controls * 8 > head.size();
}

class Reader {
public:
    Reader(LevelDocument& document, MapSettings& settings, ModelLists& models, ReadSink* sink)
        : m_doc(document)
        , m_settings(settings)
        , m_models(models)
        , m_sink(sink)
    {
    }

    ReadResult run(QIODevice& input);

private:
    // Reads the next line without its line end; false at the end of the input.
    bool nextLine(QIODevice& input, QString& line);
    bool fillChunk(QIODevice& input);
    void handle(QIODevice& input, QString line);
    void handleCall(const Words& w, QStringView raw);
    // The model word of a call when it was written as a quoted text; otherwise reports the
    // line and gives nullopt (a name built by the script cannot be read without running it).
    std::optional<QString> literalName(const Words& w, int n, QStringView raw);
    // The first argument of a call: the whole quoted text (blanks, quotes and commas in it
    // included), or word 2 when it is not quoted.
    static QString quotedArgument(const Words& w, QStringView raw);

    void problem(const QString& reason) { problemAt(m_lineNumber, reason); }
    void problemAt(qint64 line, const QString& reason)
    {
        ++m_problemCount;
        if (m_result.problems.size() < maxKeptProblems)
            m_result.problems.push_back({line, reason});
    }

    static QStringView word(const Words& w, int n) { return n >= 1 && n <= w.size() ? w[n - 1] : QStringView(); }
    double number(const Words& w, int n, const char* what);
    std::int32_t int32Of(const Words& w, int n, const char* what);
    std::int16_t int16Of(const Words& w, int n, const char* what);
    std::int16_t colourOf(const Words& w, int n, const char* what);
    template <class Int>
    Int checked(double v, const Words& w, int n, const QString& what);
    template <class Rec>
    void position(Rec& record, const Words& w, int first);

    template <class Rec>
    void store(ItemKind kind, const Rec& record, const QString& text);
    std::int16_t model(ItemKind kind, const QString& name);

    void addPoint(const Words& w);
    void levelDesc(QStringView line);
    void maxPlayers(QStringView line);
    void numericSetting(QString& target, QStringView value, const char* what);

    LevelDocument& m_doc;
    MapSettings& m_settings;
    ModelLists& m_models;
    ReadSink* m_sink;
    ReadResult m_result;
    qint64 m_lineNumber = 0;
    qint64 m_problemCount = 0;
    bool m_insideFunction = false;
    std::optional<QString> m_pushedBack;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    const QString* m_cleaned = nullptr; // the cleaned form of the call line being read
    bool m_eof = false;
};

bool Reader::fillChunk(QIODevice& input)
{
    // Keep the unread tail, then top the buffer up with the next block of the input.
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    if (m_eof)
        return false;
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + chunkSize);
    const qint64 got = input.read(m_buffer.data() + old, chunkSize);
    m_buffer.resize(old + std::max<qint64>(got, 0));
    if (got <= 0)
        m_eof = true;
    return got > 0;
}

bool Reader::nextLine(QIODevice& input, QString& line)
{
    if (m_pushedBack) {
        line = std::move(*m_pushedBack);
        m_pushedBack.reset();
        ++m_lineNumber;
        return true;
    }
    qsizetype end = -1;
    bool tooLong = false;
    for (;;) {
        const char* from = m_buffer.constData() + m_pos;
        const qsizetype avail = m_buffer.size() - m_pos;
        const auto* nl = avail > 0 ? static_cast<const char*>(std::memchr(from, '\n', std::size_t(avail))) : nullptr;
        if (nl) {
            end = nl - m_buffer.constData();
            break;
        }
        if (m_buffer.size() - m_pos > maxLineLength) {
            // Skip the rest of an over-long line without holding it in memory.
            tooLong = true;
            m_pos = m_buffer.size();
            if (!fillChunk(input))
                break;
            continue;
        }
        if (!fillChunk(input)) {
            if (m_buffer.size() == m_pos)
                return false; // end of input
            end = m_buffer.size();
            break;
        }
    }
    ++m_lineNumber;
    if (tooLong) {
        if (end >= 0)
            m_pos = std::min(end + 1, m_buffer.size());
        problem(QStringLiteral("the line is longer than %1 characters; skipped").arg(maxLineLength));
        line.clear();
        return true;
    }
    const char* start = m_buffer.constData() + m_pos;
    qsizetype len = end - m_pos;
    m_pos = std::min(end + 1, m_buffer.size());
    if (len > 0 && start[len - 1] == '\r')
        --len;
    if (len > maxLineLength) {
        problem(QStringLiteral("the line is longer than %1 characters; skipped").arg(maxLineLength));
        line.clear();
        return true;
    }
    if (m_lineNumber == 1 && len >= 3 && start[0] == '\xEF' && start[1] == '\xBB' && start[2] == '\xBF') {
        start += 3;
        len -= 3;
    }
    if (len <= 0) {
        line.clear();
        return true;
    }
    if (std::memchr(start, '\0', static_cast<std::size_t>(len)) != nullptr) {
        problem(QStringLiteral("the line holds NUL bytes; skipped"));
        line.clear();
        return true;
    }
    line = QString::fromLatin1(start, len);
    return true;
}

ReadResult Reader::run(QIODevice& input)
{
    const QByteArray head = input.peek(4096);
    if (head.startsWith("\x1bLua")) {
        problemAt(0, QStringLiteral("the file is compiled Lua bytecode, not a level script; nothing was read"));
        return m_result;
    }
    if (looksBinary(head)) {
        problemAt(0, QStringLiteral("the file is not a text file; nothing was read"));
        return m_result;
    }
    QString line;
    while (nextLine(input, line))
        handle(input, std::move(line));
    if (m_problemCount > qint64(m_result.problems.size()))
        m_result.problems.push_back(
            {0, QStringLiteral("%1 more problems not listed").arg(m_problemCount - qint64(m_result.problems.size()))});
    return m_result;
}

void Reader::handle(QIODevice& input, QString line)
{
    if (line.isEmpty())
        return;
    const QStringView first = rawFirstWord(line);
    if (first == u"--")
        return;
    if (first == u"levelDesc")
        levelDesc(line);
    else if (first == u"maxPlayers")
        maxPlayers(line);
    else if (first == u"function")
        m_insideFunction = true;
    else if (first == u"end" && m_insideFunction)
        m_insideFunction = false;

    if (!m_insideFunction)
        return;
    QString cleaned = cleanLine(line);
    if (!cleaned.startsWith(QLatin1String("add")) && !cleaned.startsWith(QLatin1String("set"))
        && !cleaned.startsWith(QLatin1String("load")))
        return;

    // A call whose arguments run over several lines is joined into one before it is read.
    const qint64 callLine = m_lineNumber;
    int depth = openParentheses(line);
    int joined = 0;
    QString next;
    while (depth > 0 && joined < maxJoinedLines && line.size() < maxLineLength && nextLine(input, next)) {
        const QStringView nextFirst = rawFirstWord(next);
        // A call left open never swallows the lines of the next call.
        if (nextFirst == u"function" || nextFirst == u"end" || nextFirst == u"levelDesc"
            || nextFirst == u"maxPlayers" || isCall(rawFirstWord(cleanLine(next)))) {
            m_pushedBack = std::move(next);
            --m_lineNumber;
            break;
        }
        line += QLatin1Char(' ');
        line += next;
        depth += openParentheses(next);
        ++joined;
    }
    if (joined > 0)
        cleaned = cleanLine(line);

    Words words;
    const QStringView cleanedView(cleaned);
    for (qsizetype i = 0, n = cleanedView.size(); i < n;) {
        while (i < n && cleanedView[i] == u' ')
            ++i;
        const qsizetype start = i;
        while (i < n && cleanedView[i] != u' ')
            ++i;
        if (i > start)
            words.push_back(cleanedView.mid(start, i - start));
    }
    const qint64 saved = m_lineNumber;
    m_lineNumber = callLine;
    m_cleaned = &cleaned;
    handleCall(words, line);
    m_cleaned = nullptr;
    m_lineNumber = saved;
}

double Reader::number(const Words& w, int n, const char* what)
{
    const QStringView text = word(w, n);
    bool whole = false;
    const double v = val(text, &whole);
    if (!whole) {
        if (text.isEmpty())
            problem(QStringLiteral("the %1 is missing; read as 0").arg(QLatin1String(what)));
        else
            problem(QStringLiteral("the %1 \"%2\" is not a number; read as %3")
                        .arg(QLatin1String(what), text.toString(), doubleText(v)));
    }
    return v;
}

template <class Int>
Int Reader::checked(double v, const Words& w, int n, const QString& what)
{
    const std::optional<Int> exact = sizeof(Int) == 2 ? std::optional<Int>(toInt16(v)) : std::optional<Int>(toInt32(v));
    if (exact)
        return *exact;
    const auto clamped = static_cast<Int>(sizeof(Int) == 2 ? toInt16Clamped(v) : toInt32Clamped(v));
    const QString range = what.endsWith(QLatin1String("component")) ? QStringLiteral("out of range")
        : sizeof(Int) == 2                                           ? QStringLiteral("outside -32768 to 32767")
                                                                     : QStringLiteral("outside the 32-bit range");
    problem(QStringLiteral("the %1 %2 is %3; clamped to %4").arg(what, word(w, n).toString(), range, intText(clamped)));
    return clamped;
}

std::int32_t Reader::int32Of(const Words& w, int n, const char* what)
{
    return checked<std::int32_t>(number(w, n, what), w, n, QLatin1String(what));
}

std::int16_t Reader::int16Of(const Words& w, int n, const char* what)
{
    return checked<std::int16_t>(number(w, n, what), w, n, QLatin1String(what));
}

std::int16_t Reader::colourOf(const Words& w, int n, const char* what)
{
    return checked<std::int16_t>(number(w, n, what) * 255.0, w, n, QLatin1String(what) + QLatin1String(" component"));
}

template <class Rec>
void Reader::position(Rec& record, const Words& w, int first)
{
    // Positions are written top-view x, height, top-view y.
    record.posX = int32Of(w, first, "x position");
    record.posZ = int32Of(w, first + 1, "height");
    record.posY = int32Of(w, first + 2, "y position");
}

std::int16_t Reader::model(ItemKind kind, const QString& name)
{
    m_result.lastKind = kind;
    const std::int16_t index = m_models.lookup(kind, name);
    // "Custom" ends the lists that have it and names no model: such a name is a custom one.
    return index >= 0 && m_models.entry(kind, index) == customEntry ? std::int16_t(-1) : index;
}

template <class Rec>
void Reader::store(ItemKind kind, const Rec& record, const QString& text)
{
    const auto index = m_doc.appendItem(kind, record);
    if (!index) {
        problem(QStringLiteral("the level already holds %1 records of the kind %2; the item was skipped")
                    .arg(maxRecordsPerKind)
                    .arg(QLatin1String(kindInfo(kind).name)));
        return;
    }
    ++m_result.itemsRead;
    if (m_sink) {
        QString itemText = text;
        if (itemText.isEmpty()) {
            // "Asteroid #12": formed in one buffer, one allocation per item.
            char buffer[48];
            const char* prefix = kindInfo(kind).itemText;
            const std::size_t length = std::strlen(prefix);
            std::memcpy(buffer, prefix, length);
            const auto end = std::to_chars(buffer + length, buffer + sizeof buffer, *index + 1).ptr;
            itemText = QString::fromLatin1(buffer, end - buffer);
        }
        m_sink->itemRead(kind, *index, itemText, record.posX, record.posY);
    }
}

void Reader::addPoint(const Words& w)
{
    const QString n = word(w, 2).toString().remove(QStringLiteral("StartPos"));
    const double slotValue = val(n);
    const auto slot = toInt32(slotValue);
    if (!isStrictNumber(n) || !slot || *slot < 0 || *slot >= playerSlots) {
        problem(QStringLiteral("the start point \"%1\" names no player slot from 0 to 5; skipped").arg(word(w, 2).toString()));
        return;
    }
    PlayerStartRecord record = m_doc.player(*slot);
    position(record, w, 3);
    const double orientation = number(w, 7, "orientation");
    if (std::fabs(orientation) > double(std::numeric_limits<float>::max())) {
        problem(QStringLiteral("the orientation %1 is out of range; read as 0").arg(word(w, 7).toString()));
        record.orientation = 0;
    } else {
        record.orientation = static_cast<float>(orientation);
    }
    record.label = QStringLiteral("Player %1").arg(*slot + 1);
    m_doc.player(*slot) = record;
    ++m_result.itemsRead;
    if (m_sink)
        m_sink->itemRead(ItemKind::PlayerStart, static_cast<std::int16_t>(*slot),
                         QStringLiteral("Player %1 start").arg(*slot + 1), record.posX, record.posY);
}

std::optional<QString> Reader::literalName(const Words& w, int n, QStringView raw)
{
    const QStringView name = word(w, n);
    if (!name.isEmpty()) {
        // The cleaned line is the raw line less its leading blanks, character for character.
        if (m_cleaned && name.data() >= m_cleaned->constData() && name.data() < m_cleaned->constData() + m_cleaned->size()) {
            const qsizetype at = (name.data() - m_cleaned->constData()) + (raw.size() - m_cleaned->size());
            const qsizetype after = at + name.size();
            if (at > 0 && after < raw.size() && (raw[at - 1] == u'"' || raw[at - 1] == u'\'') && raw[after] == raw[at - 1])
                return luaUnescape(name);
        }
        for (qsizetype at = raw.indexOf(name); at >= 0; at = raw.indexOf(name, at + 1)) {
            const qsizetype after = at + name.size();
            if (at > 0 && after < raw.size() && (raw[at - 1] == u'"' || raw[at - 1] == u'\'') && raw[after] == raw[at - 1])
                return luaUnescape(name);
        }
    }
    problem(QStringLiteral("the model name \"%1\" is not a quoted text; the item was skipped").arg(name.toString()));
    return std::nullopt;
}

QString Reader::quotedArgument(const Words& w, QStringView raw)
{
    const qsizetype open = raw.indexOf(u'(');
    if (open >= 0) {
        if (auto text = leadingLuaString(raw.mid(open + 1)))
            return *std::move(text);
    }
    return luaUnescape(word(w, 2));
}

void Reader::handleCall(const Words& w, QStringView raw)
{
    const QStringView call = word(w, 1);
    if (call == u"addPoint") {
        addPoint(w);
    } else if (call == u"addSalvage" || call == u"addAsteroid") {
        const ItemKind kind = call == u"addSalvage" ? ItemKind::Salvage : ItemKind::Asteroid;
        const auto name = literalName(w, 2, raw);
        if (!name)
            return;
        ResourceRecord r;
        r.modelIndex = model(kind, *name);
        if (r.modelIndex == -1)
            r.customName = *name;
        position(r, w, 3);
        r.resourcePercent = int32Of(w, 6, "resource percentage");
        r.drawColour = kindInfo(kind).drawColour;
        store(kind, r, {});
    } else if (call == u"addCloud" || call == u"addDustCloud" || call == u"addNebula") {
        const ItemKind kind = call == u"addCloud" ? ItemKind::Cloud
            : call == u"addDustCloud"             ? ItemKind::DustCloud
                                                  : ItemKind::Nebula;
        const int modelWord = kind == ItemKind::Nebula ? 2 : 3;
        const auto name = literalName(w, modelWord, raw);
        if (!name)
            return;
        CloudRecord r;
        r.modelIndex = model(kind, *name);
        if (r.modelIndex == -1)
            r.customName = *name;
        position(r, w, 4);
        r.red = colourOf(w, 7, "red");
        r.green = colourOf(w, 8, "green");
        r.blue = colourOf(w, 9, "blue");
        r.size = int32Of(w, 12, "size");
        r.drawColour = kindInfo(kind).drawColour;
        store(kind, r, {});
    } else if (call == u"addSquadron") {
        const auto literal = literalName(w, 2, raw);
        if (!literal)
            return;
        const QString& name = *literal;
        if (QStringView(name).left(4).compare(QLatin1String("meg_"), Qt::CaseInsensitive) == 0) {
            PropRecord r;
            r.modelIndex = model(ItemKind::Megalith, name);
            if (r.modelIndex == -1)
                r.customName = name;
            position(r, w, 4);
            r.drawColour = kindInfo(ItemKind::Megalith).drawColour;
            store(ItemKind::Megalith, r, name);
        } else {
            ShipRecord r;
            r.modelIndex = model(ItemKind::Ship, name);
            if (r.modelIndex == -1)
                r.customName = name;
            position(r, w, 4);
            r.player = int16Of(w, 7, "owner");
            // The rotation table holds orientation, rotation2, rotation1.
            r.orientation = int32Of(w, 8, "orientation");
            r.rotation2 = int32Of(w, 9, "rotation");
            r.rotation1 = int32Of(w, 10, "rotation");
            r.drawColour = kindInfo(ItemKind::Ship).drawColour;
            store(ItemKind::Ship, r, name);
        }
    } else if (call == u"addPebble") {
        const auto name = literalName(w, 2, raw);
        if (!name)
            return;
        PropRecord r;
        r.modelIndex = model(ItemKind::Pebble, *name);
        if (r.modelIndex == -1)
            r.customName = *name;
        position(r, w, 3);
        r.drawColour = kindInfo(ItemKind::Pebble).drawColour;
        store(ItemKind::Pebble, r, {});
    } else if (call == u"setWorldBoundsInner") {
        numericSetting(m_settings.sizeX, word(w, 5), "world size X");
        numericSetting(m_settings.sizeZ, word(w, 6), "world size Z");
        numericSetting(m_settings.sizeY, word(w, 7), "world size Y");
        m_result.worldBoundsRead = true;
    } else if (call == u"loadBackground") {
        m_settings.background = quotedArgument(w, raw);
    } else if (call == u"setSensorsManagerCameraDistances") {
        numericSetting(m_settings.cameraMin, word(w, 2), "minimum camera distance");
        numericSetting(m_settings.cameraMax, word(w, 3), "maximum camera distance");
    } else if (call == u"setDefaultMusic") {
        m_settings.music = quotedArgument(w, raw).remove(QStringLiteral("Data:sound/music/"));
    }
}

void Reader::numericSetting(QString& target, QStringView value, const char* what)
{
    if (isStrictNumber(value) && std::isfinite(val(value))) {
        target = value.toString();
        return;
    }
    problem(QStringLiteral("the %1 \"%2\" is not a number; kept %3").arg(QLatin1String(what), value.toString(), target));
}

void Reader::levelDesc(QStringView line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    const QStringView value = eq >= 0 ? line.mid(eq + 1) : line;
    if (const auto decoded = leadingLuaString(value)) {
        m_settings.levelDesc = *decoded;
        return;
    }
    QString text = value.toString();
    text.replace(QLatin1Char('"'), QLatin1Char(' '));
    m_settings.levelDesc = text.trimmed();
}

void Reader::maxPlayers(QStringView line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    const QString thirdWord = eq >= 0 ? QString() : getWord(line, 3);
    const QStringView value = eq >= 0 ? line.mid(eq + 1) : QStringView(thirdWord);
    const double players = val(value);
    const auto index = toInt16(players - 2);
    if (index && *index >= 0 && *index < playerCountEntries().size()) {
        m_settings.playerIndex = *index;
        return;
    }
    if (!std::isfinite(players) || val(value) == 0.0) {
        problem(QStringLiteral("maxPlayers \"%1\" is not a player count; kept %2 players")
                    .arg(value.trimmed().toString())
                    .arg(m_settings.playerCount()));
        return;
    }
    m_settings.playerIndex = players < 2 ? 0 : int(playerCountEntries().size()) - 1;
    problem(QStringLiteral("maxPlayers %1 is outside 2 to 6; set to %2 players")
                .arg(value.trimmed().toString())
                .arg(m_settings.playerCount()));
}

} // namespace

ReadResult readLevel(QIODevice& input, LevelDocument& document, MapSettings& settings, ModelLists& models,
                     ReadSink* sink)
{
    Reader reader(document, settings, models, sink);
    return reader.run(input);
}

std::optional<ReadResult> readLevelFile(const QString& path, LevelDocument& document, MapSettings& settings,
                                        ModelLists& models, ReadSink* sink, QString* error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a folder, not a level file").arg(path);
        return std::nullopt;
    }
    QFile file;
    if (const QString reason = openForReading(path, file); !reason.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, reason);
        return std::nullopt;
    }
    return readLevel(file, document, settings, models, sink);
}

QString problemsText(const std::vector<ReadProblem>& problems, int limit)
{
    QStringList lines;
    int shown = 0;
    for (const ReadProblem& p : problems) {
        if (shown == limit) {
            lines << QStringLiteral("... and %1 more").arg(qsizetype(problems.size()) - limit);
            break;
        }
        lines << (p.line > 0 ? QStringLiteral("line %1: %2").arg(p.line).arg(p.reason) : p.reason);
        ++shown;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace starloom
