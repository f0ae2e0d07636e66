#pragma once
// HttpClient over QNetworkAccessManager. Redirects are followed (never from
// https down to http); a transfer that receives nothing for TimeoutMs ends
// with OnTimeout; an answer larger than MaxAnswerBytes ends with OnError so a
// runaway server cannot exhaust memory. A refused connection to the
// program's own analysis server (the address given to SetServerKey) is tried
// again every RefusedRetryIntervalMs for up to RefusedRetryMs: that server
// may still be starting, or being started again by its watch, and a request
// sent in that moment is not a failure of the server.
#include "HttpClient.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;
class QTimer;

namespace vantora {

class QtHttpClient : public QObject, public HttpClient {
  public:
    explicit QtHttpClient(QObject* parent = nullptr);
    ~QtHttpClient() override;

    // Silence allowed between two pieces of an answer (and before the first).
    int TimeoutMs = 60000;
    qint64 MaxAnswerBytes = 64 * 1024 * 1024;
    int RefusedRetryMs = 10000;
    int RefusedRetryIntervalMs = 200;

    void SetProxy(bool use, const QString& host, int port) override;
    void GetDoc(const QString& url) override;
    void Cancel() override;
    bool Busy() const override;
    void SetServerKey(const QString& address, const QByteArray& key) override;
    void SetServerToken(const QString& address, const QByteArray& token) override;
    void Post(const QString& url, const QByteArray& body, const QByteArray& contentType,
              PostDone done) override;

  private:
    void Send();
    bool IsOwnServer(const QUrl& url) const;
    void AddServerHeaders(QNetworkRequest& request, const QUrl& target) const;
    void EnsureBegun();
    void OnReadyRead();
    void OnFinished();
    void OnIdleTimeout();
    // Detaches the reply in flight without any further event from it.
    void Drop();

    QNetworkAccessManager* Manager;
    QTimer* IdleTimer;
    QTimer* RetryTimer;
    QNetworkRequest* Request = nullptr; // the request in flight or waiting to be tried again
    QElapsedTimer RefusedSince;
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
