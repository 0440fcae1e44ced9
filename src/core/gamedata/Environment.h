#pragma once

#include <QString>

namespace starloom {

// What the game lookup asks of the process and the platform, behind an interface so that
// tests give a home folder, variables and the platform of their own.
class Environment {
public:
    virtual ~Environment() = default;
    // The variable's value; empty when it is not set.
    virtual QString variable(const QString& name) const = 0;
    virtual QString homePath() const = 0;
    // Windows looks in the registry; other platforms in the Wine prefix and Steam's folders.
    virtual bool isWindows() const = 0;
};

class SystemEnvironment final : public Environment {
public:
    QString variable(const QString& name) const override;
    QString homePath() const override;
    bool isWindows() const override;
};

} // namespace starloom
