#pragma once
// HttpClient over QNetworkAccessManager. Redirects are followed (never from
// https down to http); a transfer that receives nothing for TimeoutMs ends
// with OnTimeout; an answer larger than MaxAnswerBytes ends with OnError so a
// runaway server cannot exhaust memory.
#include "HttpClient.h"

#include <QObject>
#include <QPointer>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace vantora {

class QtHttpClient : public QObject, public HttpClient {
  public:
    explicit QtHttpClient(QObject* parent = nullptr);
    ~QtHttpClient() override;

    // Silence allowed between two pieces of an answer (and before the first).
    int TimeoutMs = 60000;
    qint64 MaxAnswerBytes = 64 * 1024 * 1024;

    void SetProxy(bool use, const QString& host, int port) override;
    void GetDoc(const QString& url) override;
    void Cancel() override;
    bool Busy() const override { return Reply != nullptr; }
    void SetServerKey(const QString& address, const QByteArray& key) override;
    void SetServerToken(const QString& address, const QByteArray& token) override;

  private:
    void EnsureBegun();
    void OnReadyRead();
    void OnFinished();
    void OnIdleTimeout();
    // Detaches the reply in flight without any further event from it.
    void Drop();

    QNetworkAccessManager* Manager;
    QTimer* IdleTimer;
    QPointer<QNetworkReply> Reply;
    quint64 Generation = 0;
    bool Begun = false;
    qint64 Received = 0;
    QString KeyHost;
    int KeyPort = -1;
    QByteArray Key;
    QString TokenHost;
    int TokenPort = -1;
    QByteArray Token;
};

} // namespace vantora
