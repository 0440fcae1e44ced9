#include "KeyValues.h"

namespace starloom {

namespace {

constexpr int maxDepth = 64;

class Parser {
public:
    explicit Parser(QStringView text) : m_text(text) {}

    std::optional<KeyValues> parseAll(QString* error)
    {
        KeyValues root;
        root.isBlock = true;
        const bool ok = pairs(root, 0, false);
        if (!ok) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(m_line).arg(m_error);
            return std::nullopt;
        }
        return root;
    }

private:
    enum class Kind { End, Text, Open, Close };
    struct Token {
        Kind kind = Kind::End;
        QString text;
    };

    bool fail(const QString& why)
    {
        if (m_error.isEmpty())
            m_error = why;
        return false;
    }

    void skipSpaceAndComments()
    {
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at];
            if (c == u'\n') {
                ++m_line;
                ++m_at;
            } else if (c.isSpace() || c == QChar(0xfeff)) {
                ++m_at;
            } else if (c == u'/' && m_at + 1 < m_text.size() && m_text[m_at + 1] == u'/') {
                while (m_at < m_text.size() && m_text[m_at] != u'\n')
                    ++m_at;
            } else {
                return;
            }
        }
    }

    bool next(Token* token)
    {
        skipSpaceAndComments();
        if (m_at >= m_text.size()) {
            *token = {Kind::End, {}};
            return true;
        }
        const QChar c = m_text[m_at];
        if (c == u'{' || c == u'}') {
            ++m_at;
            *token = {c == u'{' ? Kind::Open : Kind::Close, {}};
            return true;
        }
        QString text;
        if (c == u'"') {
            ++m_at;
            for (;;) {
                if (m_at >= m_text.size())
                    return fail(QStringLiteral("a quoted text is not closed"));
                const QChar d = m_text[m_at++];
                if (d == u'"')
                    break;
                if (d == u'\n')
                    ++m_line;
                if (d == u'\\' && m_at < m_text.size()) {
                    const QChar e = m_text[m_at++];
                    text += e == u'n' ? QChar(u'\n') : e == u't' ? QChar(u'\t') : e;
                    continue;
                }
                text += d;
            }
        } else {
            while (m_at < m_text.size()) {
                const QChar d = m_text[m_at];
                if (d.isSpace() || d == u'{' || d == u'}' || d == u'"')
                    break;
                text += d;
                ++m_at;
            }
        }
        *token = {Kind::Text, text};
        return true;
    }

    // A condition such as [$WIN32] after a value or a key.
    void skipCondition()
    {
        skipSpaceAndComments();
        if (m_at < m_text.size() && m_text[m_at] == u'[') {
            while (m_at < m_text.size() && m_text[m_at] != u']' && m_text[m_at] != u'\n')
                ++m_at;
            if (m_at < m_text.size() && m_text[m_at] == u']')
                ++m_at;
        }
    }

    // The pairs up to the closing brace (`inBlock`) or the end of the text.
    bool pairs(KeyValues& block, int depth, bool inBlock)
    {
        for (;;) {
            Token key;
            if (!next(&key))
                return false;
            if (key.kind == Kind::End)
                return inBlock ? fail(QStringLiteral("a block is not closed")) : true;
            if (key.kind == Kind::Close)
                return inBlock ? true : fail(QStringLiteral("a closing brace has no block"));
            if (key.kind == Kind::Open)
                return fail(QStringLiteral("a block has no key"));
            skipCondition();
            Token value;
            if (!next(&value))
                return false;
            KeyValues pair;
            pair.key = key.text;
            if (value.kind == Kind::Text) {
                pair.value = value.text;
                skipCondition();
            } else if (value.kind == Kind::Open) {
                if (depth + 1 > maxDepth)
                    return fail(QStringLiteral("blocks are nested too deeply"));
                pair.isBlock = true;
                if (!pairs(pair, depth + 1, true))
                    return false;
            } else {
                return fail(QStringLiteral("the key \"%1\" has no value").arg(key.text));
            }
            block.children.push_back(std::move(pair));
        }
    }

    QStringView m_text;
    qsizetype m_at = 0;
    int m_line = 1;
    QString m_error;
};

} // namespace

const KeyValues* KeyValues::child(QStringView name) const
{
    for (const KeyValues& c : children) {
        if (c.key.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

QString KeyValues::text(QStringView name) const
{
    const KeyValues* c = child(name);
    return c && !c->isBlock ? c->value : QString();
}

std::optional<KeyValues> KeyValues::parse(QStringView text, QString* error)
{
    return Parser(text).parseAll(error);
}

} // namespace starloom
