#pragma once
// Small pieces of the machine the program asks about: the clock, the local
// address, the registration of the project file type and the shell's
// registered handlers.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace vantora {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const = 0;
};

class LocalAddress {
  public:
    virtual ~LocalAddress() = default;
    // The machine's primary local address as text (IPv4, or IPv6 on a
    // machine without IPv4), "0.0.0.0" when none.
    virtual QString LocalIPv4() = 0;
};

class FileTypeRegistrar {
  public:
    virtual ~FileTypeRegistrar() = default;
    // Registers "*.zpr" as a project file opened by programPath. Silent on failure.
    virtual void Register(const QString& programPath) = 0;
};

class ShellLauncher {
  public:
    virtual ~ShellLauncher() = default;
    // The command template registered for a URL scheme ("http", "mailto"), with
    // "%1" standing for the argument; empty when none is registered.
    virtual QString CommandTemplate(const QString& scheme) = 0;
    // Starts a command line detached from the program. False on failure.
    virtual bool StartDetached(const QString& commandLine) = 0;
};

} // namespace vantora
