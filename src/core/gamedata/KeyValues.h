#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace starloom {

// Valve's KeyValues text (Steam's libraryfolders.vdf, appmanifest_*.acf): a tree of quoted or bare
// keys, each followed by a text value or by a block of further pairs in braces. "//" starts a
// comment, conditions in brackets ("[$WIN32]") are skipped, and quoted texts take the escapes
// \\, \", \n and \t.
class KeyValues {
public:
    QString key;
    QString value;                   // empty for a block
    std::vector<KeyValues> children; // the pairs of a block
    bool isBlock = false;

    // The first child whose key equals `name` without regard to letter case, or nullptr.
    const KeyValues* child(QStringView name) const;
    // The text value of that child; empty when there is none or it is a block.
    QString text(QStringView name) const;

    // The pairs of the whole text, as the children of a block with an empty key; nullopt with a
    // message (and its line) when the text is not KeyValues. Nesting deeper than 64 is refused.
    static std::optional<KeyValues> parse(QStringView text, QString* error = nullptr);
};

} // namespace starloom
