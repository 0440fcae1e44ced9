// Feeds arbitrary text to the KeyValues reader (Steam's libraryfolders.vdf and app manifests, as
// found on the user's disk) and checks what must hold: a refused text says why, and a read tree
// has blocks without values and lookups that find children by their key.

#include "gamedata/KeyValues.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

#include "FuzzCheck.h"

using namespace starloom;

namespace {

using fuzz::check;

void walk(const KeyValues& node, int depth)
{
    check(depth <= 66, "the tree is no deeper than the nesting the reader allows");
    check(!node.isBlock || node.value.isEmpty(), "a block has no text value");
    check(node.isBlock || node.children.empty(), "a text value has no children");
    for (const KeyValues& child : node.children) {
        const KeyValues* found = node.child(child.key);
        check(
            found != nullptr && found->key.compare(child.key, Qt::CaseInsensitive) == 0, "a child is found by its key");
        walk(child, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<KeyValues> tree = KeyValues::parse(text, &error);
    check(tree.has_value() == error.isEmpty(), "a refused text says why, a read one says nothing");
    if (!tree)
        return 0;
    check(tree->isBlock && tree->key.isEmpty(), "the whole text is a block without a key");
    walk(*tree, 0);
    return 0;
}
