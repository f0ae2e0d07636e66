#pragma once
// The dial-up layer: a phonebook of connection entries with their stored user
// name and password, and synchronous dialling and hanging up. Results are
// reported to a listener while Dial runs. Operations return 0 or an error
// code; an abnormal failure (the layer itself broke) is thrown as
// std::exception.
#include <QString>
#include <QStringList>

namespace vantora {

class DialUpListener {
  public:
    virtual ~DialUpListener() = default;
    virtual void OnConnected() = 0;
    virtual void OnNotConnected(int code, const QString& text) = 0;
    virtual void OnDialError(int code, const QString& text) = 0;
};

class DialUp {
  public:
    virtual ~DialUp() = default;
    void SetListener(DialUpListener* listener) { Listener = listener; }

    // The name of the phonebook entry the operations below work on.
    QString Entry;
    // The phonebook's entry names in order, filled by GetEntries.
    QStringList Entries;

    // Empties Entries and fills it; on an error code it stays empty.
    virtual int GetEntries() = 0;
    // The stored user name of Entry into name (untouched on failure).
    virtual int GetUserName(QString& name) = 0;
    // The stored password of Entry, empty when none was retrieved.
    virtual QString GetPassword() = 0;
    virtual int SetUserName(const QString& name) = 0;
    virtual int SetPassword(const QString& password) = 0;
    // Dials Entry and waits for the result; raises OnConnected or
    // OnNotConnected, or OnDialError when Entry cannot be read.
    virtual void Dial() = 0;
    // Hangs up the connection this layer dialled, if any.
    virtual void HangUp() = 0;

  protected:
    DialUpListener* Listener = nullptr;
};

} // namespace vantora
