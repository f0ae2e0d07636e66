#pragma once
// Test doubles for the network edge: a scripted dial-up layer and an HTTP
// client whose events the test raises itself.
#include "DialUp.h"
#include "HttpClient.h"

#include <QMap>
#include <QStringList>

namespace vantora::test {

class FakeDialUp : public DialUp {
  public:
    enum class Outcome { Connect, Fail, ParamsUnreadable };

    QStringList PhoneBook;
    QMap<QString, QString> UserNames;
    QMap<QString, QString> Passwords;
    int EntriesError = 0;        // returned by GetEntries, list left empty
    bool ThrowOnEntries = false; // an abnormal failure of the layer
    bool ThrowOnRead = false;
    bool ThrowOnWrite = false;
    Outcome DialOutcome = Outcome::Connect;
    QStringList Calls; // "GetEntries", "Dial:<entry>", "HangUp", ...
    bool Connected = false;

    int GetEntries() override;
    int GetUserName(QString& name) override;
    QString GetPassword() override;
    int SetUserName(const QString& name) override;
    int SetPassword(const QString& password) override;
    void Dial() override;
    void HangUp() override;
};

class FakeHttpClient : public HttpClient {
  public:
    QStringList Requested;
    bool ProxyOn = false;
    QString ProxyHost;
    int ProxyPort = 0;
    bool InFlight = false;
    int Cancels = 0;
    bool ReportCancel = true;

    void SetProxy(bool use, const QString& host, int port) override;
    void GetDoc(const QString& url) override;
    void Cancel() override;
    bool Busy() const override { return InFlight; }

    // Raises the whole successful event sequence for the transfer in flight.
    void Answer(const QByteArray& body);
    void Fail();
    HttpClientListener* CurrentListener() const { return Listener; }
};

} // namespace vantora::test
