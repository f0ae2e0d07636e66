#include "Transport.h"

#include "ToolKind.h"

#include <QCoreApplication>

namespace vantora {

void TransportHost::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

Transport::Transport(HttpClient& client, TransportHost& host) : Client(client), Host(host) {
    Client.SetListener(this);
}

Transport::~Transport() {
    Client.SetListener(nullptr);
}

QStringList& Transport::PendingAnswers(int tag) {
    Q_ASSERT(tag >= FirstToolTag && tag <= LastToolTag);
    return Pending[size_t(qBound(FirstToolTag, tag, LastToolTag) - FirstToolTag)];
}

QString Transport::AnsweredRequest(int tag) const {
    if (tag < FirstToolTag || tag > LastToolTag)
        return QString();
    return PendingRequests[size_t(tag - FirstToolTag)];
}

void Transport::SetAnswerStep(int tag, std::function<void()> step) {
    if (tag >= FirstToolTag && tag <= LastToolTag)
        AnswerSteps[size_t(tag - FirstToolTag)] = std::move(step);
}

void Transport::Append(int tag, const QString& url) {
    RequestQueue.append(QString::number(tag % 10) + url);
}

QString Transport::WaitingText(int tag) {
    const std::optional<ToolKind> kind = ToolKindFromTag(tag);
    return kind ? QString(Tool(*kind).WaitingText) : QString();
}

QString StripControlCharacters(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (QChar c : text)
        if (c.unicode() > 31)
            result.append(c);
    return result;
}

int Transport::HeadTag() const {
    if (RequestQueue.isEmpty() || RequestQueue.first().isEmpty())
        return -1;
    const QChar c = RequestQueue.first().at(0);
    return c.isDigit() ? c.digitValue() : -1;
}

void Transport::StartNextRequest(const QString& proxyServer, int proxyPort) {
    if (RequestQueue.isEmpty()) {
        TransportIdle = true;
        return;
    }
    Client.SetProxy(!proxyServer.isEmpty(), proxyServer, proxyPort);
    TransportIdle = false;
    SendHead();
}

void Transport::SendHead() {
    AnswerBuffer.clear();
    Decoder.resetState();
    Client.GetDoc(RequestQueue.first().mid(1));
}

void Transport::DropQueue() {
    RequestQueue.clear();
    TransportIdle = true;
}

void Transport::OnDocOutput(DocState state, qint64 bytesSoFar, const QByteArray& chunk) {
    if (RequestQueue.isEmpty())
        return;
    const int tag = HeadTag();
    if (bytesSoFar != 0) {
        Host.SetStatus(QStringLiteral("Received %1 bytes.").arg(bytesSoFar));
    } else {
        const QString waiting = WaitingText(tag);
        if (!waiting.isEmpty())
            Host.SetStatus(waiting + QString::number(RequestQueue.size()) +
                           QStringLiteral(" request(s) remaining)"));
    }
    switch (state) {
    case DocState::Begin:
        AnswerBuffer.clear();
        Decoder.resetState();
        Host.SetBusy(true);
        break;
    case DocState::Data:
        // A stateful decoder keeps a character split between two chunks whole.
        AnswerBuffer.append(StripControlCharacters(Decoder.decode(chunk)));
        break;
    case DocState::End: {
        Host.SetBusy(false);
        Host.SetStatus(QStringLiteral("Data connection closed."));
        if (RequestQueue.isEmpty())
            break;
        if (AnswerBuffer.contains(QLatin1String("<HTML>"))) {
            // A web page instead of tool output: the server failed.
            Host.SetStatus(QStringLiteral("Server error, %1 request(s) have been canceled.")
                               .arg(RequestQueue.size()));
            DropQueue();
            break;
        }
        if (tag >= FirstToolTag && tag <= LastToolTag) {
            QStringList& pending = PendingAnswers(tag);
            pending.clear();
            pending.append(AnswerBuffer);
            PendingRequests[size_t(tag - FirstToolTag)] = RequestQueue.first().mid(1);
            if (const auto& step = AnswerSteps[size_t(tag - FirstToolTag)])
                step();
            Host.SetProjectModified();
        }
        break;
    }
    }
    Host.Repaint();
}

void Transport::OnBaseState() {
    if (RequestQueue.isEmpty())
        return;
    RequestQueue.removeFirst();
    Host.ProcessPendingEvents();
    // Stop may have run meanwhile; then the queue is empty and we are idle.
    if (RequestQueue.isEmpty())
        TransportIdle = true;
    else
        SendHead();
}

void Transport::OnError(int, const QString&) {
    Host.SetStatus(
        QStringLiteral("Server error, %1 request(s) have been canceled.").arg(RequestQueue.size()));
    Host.SetBusy(false);
    DropQueue();
}

void Transport::OnTimeout() {
    OnError(0, QString());
}

void Transport::OnCancel() {
    Host.SetBusy(false);
    TransportIdle = true;
    Host.SetStatus(QStringLiteral("Data connection closed."));
    RequestQueue.clear();
}

void Transport::Stop() {
    RequestQueue.clear();
    Client.Cancel();
    StopRequested = true;
    // The client reports no cancellation when nothing was in flight; the
    // transport must not stay busy then, or later requests would wait for ever.
    if (!TransportIdle) {
        TransportIdle = true;
        Host.SetBusy(false);
    }
}

} // namespace vantora
