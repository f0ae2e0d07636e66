#pragma once
// The per-user settings store: one key of named values (strings and 32-bit
// integers). Opening can fail; the program then goes on silently.
#include <QString>
#include <QVariant>

namespace vantora {

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // Opens the key; with create, makes it when missing. False = not openable.
    virtual bool OpenKey(bool create) = 0;
    virtual bool Contains(const QString& name) const = 0;
    virtual QVariant Value(const QString& name) const = 0;
    virtual bool SetValue(const QString& name, const QVariant& value) = 0;
    // Makes the written values durable.
    virtual void CloseKey() = 0;
};

} // namespace vantora
