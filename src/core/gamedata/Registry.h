#pragma once

#include <QString>

namespace starloom {

enum class RegistryRoot { LocalMachine, CurrentUser };

// Text values of the Windows registry, behind an interface so that the game lookup can be
// tested anywhere with a fake.
class Registry {
public:
    virtual ~Registry() = default;
    // A string value (REG_SZ, or REG_EXPAND_SZ not expanded) of `key` below `root`, 64-bit view
    // first, then the 32-bit view, cut at its first NUL; empty when it cannot be read.
    virtual QString value(RegistryRoot root, const QString& key, const QString& name) const = 0;
};

// This machine's registry; every value is empty on a platform without one.
class SystemRegistry final : public Registry {
public:
    QString value(RegistryRoot root, const QString& key, const QString& name) const override;
};

} // namespace starloom
