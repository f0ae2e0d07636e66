#include "QtHttpClient.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace vantora {

QtHttpClient::QtHttpClient(QObject* parent)
    : QObject(parent), Manager(new QNetworkAccessManager(this)), IdleTimer(new QTimer(this)),
      RetryTimer(new QTimer(this)), Request(new QNetworkRequest) {
    Manager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    IdleTimer->setSingleShot(true);
    connect(IdleTimer, &QTimer::timeout, this, [this] { OnIdleTimeout(); });
    RetryTimer->setSingleShot(true);
    connect(RetryTimer, &QTimer::timeout, this, [this] { Send(); });
}

QtHttpClient::~QtHttpClient() {
    Listener = nullptr;
    Drop();
    delete Request;
}

bool QtHttpClient::Busy() const {
    return Reply != nullptr || RetryTimer->isActive();
}

bool QtHttpClient::IsOwnServer(const QUrl& url) const {
    return !KeyHost.isEmpty() && url.host().toLower() == KeyHost &&
           url.port(url.scheme() == QLatin1String("https") ? 443 : 80) == KeyPort;
}

void QtHttpClient::SetProxy(bool use, const QString& host, int port) {
    if (use && !host.isEmpty())
        Manager->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, host, quint16(port)));
    else
        Manager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

void QtHttpClient::SetServerKey(const QString& address, const QByteArray& key) {
    Key = key;
    KeyHost.clear();
    KeyPort = -1;
    const QUrl parsed(QStringLiteral("http://") + address.trimmed());
    if (!key.isEmpty() && parsed.isValid()) {
        KeyHost = parsed.host().toLower();
        KeyPort = parsed.port(80);
    }
}

void QtHttpClient::SetServerToken(const QString& address, const QByteArray& token) {
    Token = token;
    TokenHost.clear();
    TokenPort = -1;
    const QUrl parsed(QStringLiteral("http://") + address.trimmed());
    if (!token.isEmpty() && parsed.isValid()) {
        TokenHost = parsed.host().toLower();
        TokenPort = parsed.port(80);
    }
}

void QtHttpClient::AddServerHeaders(QNetworkRequest& request, const QUrl& target) const {
    if (IsOwnServer(target))
        request.setRawHeader("X-Vantora-Key", Key);
    if (!TokenHost.isEmpty() && target.host().toLower() == TokenHost &&
        target.port(target.scheme() == QLatin1String("https") ? 443 : 80) == TokenPort)
        request.setRawHeader("Authorization", "Bearer " + Token);
}

void QtHttpClient::Post(const QString& url, const QByteArray& body, const QByteArray& contentType,
                        PostDone done) {
    const QUrl target(url);
    QNetworkRequest request{target};
    AddServerHeaders(request, target);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    request.setTransferTimeout(TimeoutMs);
    QNetworkReply* reply = Manager->post(request, body);
    const qint64 limit = MaxAnswerBytes;
    connect(reply, &QNetworkReply::finished, this, [reply, limit, done = std::move(done)] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray answer = reply->read(limit);
        // An answer with a status is reported by its status, whatever it is.
        const QString error = status == 0 && reply->error() != QNetworkReply::NoError
                                  ? reply->errorString()
                                  : QString();
        done(status, answer, error);
    });
}

void QtHttpClient::GetDoc(const QString& url) {
    Drop();
    const QUrl target(url);
    QNetworkRequest request{target};
    AddServerHeaders(request, target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    Begun = false;
    Received = 0;
    RefusedSince.invalidate();
    *Request = request;
    const quint64 generation = ++Generation;
    Send();
    // The begin event comes from the event loop, after GetDoc has returned,
    // like every other event of the transfer.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == Generation && Reply)
            EnsureBegun();
    });
}

void QtHttpClient::Send() {
    Reply = Manager->get(*Request);
    connect(Reply, &QNetworkReply::readyRead, this, [this] { OnReadyRead(); });
    connect(Reply, &QNetworkReply::finished, this, [this] { OnFinished(); });
    // Redirect hops and upload progress count as signs of life too.
    connect(Reply, &QNetworkReply::metaDataChanged, this, [this] { IdleTimer->start(TimeoutMs); });
    IdleTimer->start(TimeoutMs);
}

void QtHttpClient::EnsureBegun() {
    if (Begun)
        return;
    Begun = true;
    if (Listener)
        Listener->OnDocOutput(DocState::Begin, 0, QByteArray());
}

void QtHttpClient::OnReadyRead() {
    if (!Reply)
        return;
    IdleTimer->start(TimeoutMs);
    const int status = Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400)
        return; // body of a redirect hop; the final answer follows
    QByteArray chunk = Reply->readAll();
    if (chunk.isEmpty())
        return;
    EnsureBegun();
    Received += chunk.size();
    if (Received > MaxAnswerBytes) {
        Drop();
        if (Listener)
            Listener->OnError(
                QNetworkReply::UnknownContentError,
                QStringLiteral("The answer is larger than %1 bytes").arg(MaxAnswerBytes));
        return;
    }
    if (Listener)
        Listener->OnDocOutput(DocState::Data, Received, chunk);
}

void QtHttpClient::OnFinished() {
    if (!Reply)
        return;
    const quint64 generation = Generation;
    if (Reply->error() == QNetworkReply::NoError)
        OnReadyRead();
    if (generation != Generation || !Reply)
        return; // dropped while the last piece was handed on
    QNetworkReply* reply = Reply;
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const bool ownServerAbsent = error == QNetworkReply::ConnectionRefusedError && Received == 0 &&
                                 IsOwnServer(reply->url());
    Drop();
    if (ownServerAbsent) {
        if (!RefusedSince.isValid())
            RefusedSince.start();
        if (RefusedSince.elapsed() < RefusedRetryMs) {
            RetryTimer->start(RefusedRetryIntervalMs);
            return;
        }
    }
    EnsureBegun();
    if (generation != Generation)
        return;
    if (!Listener)
        return;
    if (error != QNetworkReply::NoError) {
        Listener->OnError(int(error), errorText);
        return;
    }
    Listener->OnDocOutput(DocState::End, Received, QByteArray());
    // A new transfer may have been started from the end handler; the base
    // state then belongs to nobody.
    if (generation == Generation && !Reply)
        Listener->OnBaseState();
}

void QtHttpClient::OnIdleTimeout() {
    if (!Reply)
        return;
    Drop();
    EnsureBegun();
    if (Listener)
        Listener->OnTimeout();
}

void QtHttpClient::Cancel() {
    if (!Busy())
        return;
    Drop();
    EnsureBegun();
    if (Listener)
        Listener->OnCancel();
}

void QtHttpClient::Drop() {
    IdleTimer->stop();
    RetryTimer->stop();
    if (!Reply)
        return;
    QNetworkReply* reply = Reply;
    Reply = nullptr;
    reply->disconnect(this);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

} // namespace vantora
