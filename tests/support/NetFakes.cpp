#include "NetFakes.h"

#include <stdexcept>

namespace vantora::test {

int FakeDialUp::GetEntries() {
    Calls << QStringLiteral("GetEntries");
    Entries.clear();
    if (ThrowOnEntries)
        throw std::runtime_error("phonebook unavailable");
    if (EntriesError)
        return EntriesError;
    Entries = PhoneBook;
    return 0;
}

int FakeDialUp::GetUserName(QString& name) {
    Calls << QStringLiteral("GetUserName:") + Entry;
    if (ThrowOnRead)
        throw std::runtime_error("entry unreadable");
    if (!PhoneBook.contains(Entry))
        return 623;
    name = UserNames.value(Entry);
    return 0;
}

QString FakeDialUp::GetPassword() {
    Calls << QStringLiteral("GetPassword:") + Entry;
    if (ThrowOnRead)
        throw std::runtime_error("entry unreadable");
    return Passwords.value(Entry);
}

int FakeDialUp::SetUserName(const QString& name) {
    Calls << QStringLiteral("SetUserName:") + Entry + QLatin1Char('=') + name;
    if (ThrowOnWrite)
        throw std::runtime_error("cannot write");
    UserNames[Entry] = name;
    return 0;
}

int FakeDialUp::SetPassword(const QString& password) {
    Calls << QStringLiteral("SetPassword:") + Entry + QLatin1Char('=') + password;
    if (ThrowOnWrite)
        throw std::runtime_error("cannot write");
    Passwords[Entry] = password;
    return 0;
}

void FakeDialUp::Dial() {
    Calls << QStringLiteral("Dial:") + Entry;
    Connected = false;
    switch (DialOutcome) {
    case Outcome::ParamsUnreadable:
        if (Listener)
            Listener->OnDialError(623, QStringLiteral("GetEntryDialParams failed"));
        return;
    case Outcome::Fail:
        if (Listener)
            Listener->OnNotConnected(678, QStringLiteral("The remote computer did not respond."));
        return;
    case Outcome::Connect:
        Connected = true;
        if (Listener)
            Listener->OnConnected();
        return;
    }
}

void FakeDialUp::HangUp() {
    Calls << QStringLiteral("HangUp");
    Connected = false;
}

void FakeHttpClient::SetProxy(bool use, const QString& host, int port) {
    ProxyOn = use;
    ProxyHost = host;
    ProxyPort = port;
}

void FakeHttpClient::GetDoc(const QString& url) {
    Requested << url;
    InFlight = true;
}

void FakeHttpClient::Cancel() {
    ++Cancels;
    if (!InFlight)
        return;
    InFlight = false;
    if (ReportCancel && Listener)
        Listener->OnCancel();
}

void FakeHttpClient::Answer(const QByteArray& body) {
    if (!Listener)
        return;
    Listener->OnDocOutput(DocState::Begin, 0, QByteArray());
    Listener->OnDocOutput(DocState::Data, body.size(), body);
    Listener->OnDocOutput(DocState::End, body.size(), QByteArray());
    InFlight = false;
    Listener->OnBaseState();
}

void FakeHttpClient::Fail() {
    InFlight = false;
    if (Listener)
        Listener->OnError(1, QStringLiteral("Connection refused"));
}

} // namespace vantora::test
