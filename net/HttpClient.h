#pragma once
// The HTTP client the request transport drives: asynchronous GET through an
// optional HTTP proxy, reporting each transfer through a listener.
//
// For every GetDoc the listener sees exactly one of these sequences:
//   OnDocOutput(Begin), OnDocOutput(Data)*, OnDocOutput(End), OnBaseState()
//   OnDocOutput(Begin), OnDocOutput(Data)*, OnError() | OnTimeout() | OnCancel()
// No event of a transfer arrives after its error, time-out or cancel, so a
// late event can never act on the requests queued after it.
#include <QByteArray>
#include <QString>
#include <functional>

namespace vantora {

enum class DocState { Begin = 1, Data = 3, End = 5 };

class HttpClientListener {
  public:
    virtual ~HttpClientListener() = default;
    // bytesSoFar counts the body bytes received so far (this chunk included);
    // chunk is empty except for Data.
    virtual void OnDocOutput(DocState state, qint64 bytesSoFar, const QByteArray& chunk) = 0;
    // The client is back in its base state: the transfer and its connection are over.
    virtual void OnBaseState() = 0;
    virtual void OnError(int code, const QString& text) = 0;
    virtual void OnTimeout() = 0;
    virtual void OnCancel() = 0;
};

class HttpClient {
  public:
    virtual ~HttpClient() = default;
    void SetListener(HttpClientListener* listener) { Listener = listener; }
    // Proxy use on with host and port, or off (direct connections).
    virtual void SetProxy(bool use, const QString& host, int port) = 0;
    // Starts fetching url; a transfer still in flight is dropped silently.
    virtual void GetDoc(const QString& url) = 0;
    // Cancels the transfer in flight (OnCancel follows at once); no event
    // when nothing is in flight.
    virtual void Cancel() = 0;
    virtual bool Busy() const = 0;
    // Every later request to address ("host:port") carries key in its
    // X-Vantora-Key header; requests elsewhere never do. An empty key ends it.
    virtual void SetServerKey(const QString& address, const QByteArray& key) {
        (void)address;
        (void)key;
    }
    // Every later request to address carries "Authorization: Bearer token"
    // (a shared team server's token); requests elsewhere never do. An empty
    // token ends it.
    virtual void SetServerToken(const QString& address, const QByteArray& token) {
        (void)address;
        (void)token;
    }

    // Posts body to url beside any transfer of GetDoc, with the same server
    // key and token, and calls done with the answer's status (0 when none
    // came), its body and, on failure, a reason in words.
    using PostDone =
        std::function<void(int status, const QByteArray& answer, const QString& error)>;
    virtual void Post(const QString& url, const QByteArray& body, const QByteArray& contentType,
                      PostDone done) {
        (void)url;
        (void)body;
        (void)contentType;
        done(0, QByteArray(), QStringLiteral("this connection cannot post"));
    }

  protected:
    HttpClientListener* Listener = nullptr;
};

} // namespace vantora
