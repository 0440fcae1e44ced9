#include "Registry.h"

#include "GameFolder.h"

namespace starloom {

QString SystemRegistry::value(RegistryRoot root, const QString& key, const QString& name) const
{
    return readRegistryValue(root == RegistryRoot::LocalMachine ? hkeyLocalMachine : hkeyCurrentUser, key, name);
}

} // namespace starloom
