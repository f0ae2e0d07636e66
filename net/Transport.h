#pragma once
// The queue of tagged requests to the analysis server and its transport.
// Requesters append entries (one tag digit followed by the full URL) to
// RequestQueue and call StartNextRequest when TransportIdle is true. Answers
// are handed, by tag, to the answer step registered for that tag.
#include "HttpClient.h"

#include <QStringDecoder>
#include <QStringList>

#include <array>
#include <functional>

namespace vantora {

// What the transport needs from the main window.
class TransportHost {
  public:
    virtual ~TransportHost() = default;
    // Status bar panel 0.
    virtual void SetStatus(const QString& text) = 0;
    // The tool bar's busy animation on (running) or off (first picture shown).
    virtual void SetBusy(bool on) = 0;
    // After a tool's answer step has run.
    virtual void SetProjectModified() = 0;
    virtual void Repaint() {}
    // Lets queued window messages run between two requests.
    virtual void ProcessPendingEvents();
};

class Transport : public HttpClientListener {
  public:
    // Tool tags are the tools' ToolKind numbers.
    static constexpr int FirstToolTag = 1;
    static constexpr int LastToolTag = 5;

    Transport(HttpClient& client, TransportHost& host);
    ~Transport() override;

    QStringList RequestQueue;
    bool TransportIdle = true;
    QString AnswerBuffer;
    bool StopRequested = false;

    // The tool's list for tags 1..5: holds the last complete answer as its
    // only line when the tool's answer step runs.
    QStringList& PendingAnswers(int tag);
    // The request URL that the answer in PendingAnswers(tag) was sent for.
    QString AnsweredRequest(int tag) const;
    // The answer step of a tool tag 1..5, run when an answer for it is complete.
    void SetAnswerStep(int tag, std::function<void()> step);

    // Appends one entry: the tag digit followed by url.
    void Append(int tag, const QString& url);
    // Applies the project's proxy (on when proxyServer is not empty), marks
    // the transport busy and sends the head entry. Call only when TransportIdle.
    void StartNextRequest(const QString& proxyServer, int proxyPort);
    // The tool bar's "Stop": drops the queue and cancels the transfer in flight.
    void Stop();

    // The waiting text of a tag ("Requesting data from Rankscout ("), empty
    // for tags without one.
    static QString WaitingText(int tag);

    void OnDocOutput(DocState state, qint64 bytesSoFar, const QByteArray& chunk) override;
    void OnBaseState() override;
    void OnError(int code, const QString& text) override;
    void OnTimeout() override;
    void OnCancel() override;

  private:
    int HeadTag() const;
    void SendHead();
    void DropQueue();

    HttpClient& Client;
    TransportHost& Host;
    std::array<QStringList, 5> Pending;
    std::array<QString, 5> PendingRequests;
    std::array<std::function<void()>, 5> AnswerSteps;
    QStringDecoder Decoder{QStringDecoder::Utf8};
};

// Removes the control characters NUL to 31 (line breaks and tabs included).
QString StripControlCharacters(const QString& text);

} // namespace vantora
