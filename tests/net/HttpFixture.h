#pragma once
// A small HTTP server and a forwarding HTTP proxy on 127.0.0.1 for tests.
// The server answers each request with what Script returns for its target
// (the path and query, or the absolute URL when reached through a proxy).
#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

namespace vantora::test {

struct FixtureReply {
    QByteArray Raw;          // bytes written back (status line, headers, body)
    bool Never = false;      // read the request, answer nothing, keep the line open
    bool CloseEarly = false; // close right after Raw even if it promised more

    static FixtureReply Ok(const QByteArray& body) {
        return {QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: ") +
                    QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
                false, false};
    }
    static FixtureReply Status(int code, const QByteArray& extraHeaders, const QByteArray& body) {
        return {"HTTP/1.1 " + QByteArray::number(code) +
                    " X\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
                    extraHeaders + "Connection: close\r\n\r\n" + body,
                false, false};
    }
};

class HttpFixture : public QObject {
  public:
    std::function<FixtureReply(const QString& target)> Script;
    QStringList Targets;             // request targets in arrival order
    QList<QByteArray> Heads, Bodies; // each request's head and body, in arrival order

    explicit HttpFixture(quint16 port = 0) {
        Server.listen(QHostAddress::LocalHost, port);
        connect(&Server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = Server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    quint16 Port() const { return Server.serverPort(); }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(Port()); }

  private:
    void Read(QTcpSocket* socket) {
        QByteArray& buffer = Buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        qsizetype length = 0;
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        if (buffer.size() < end + 4 + length)
            return; // the body is still coming
        Heads << head;
        Bodies << buffer.mid(end + 4, length);
        const QList<QByteArray> words = buffer.left(buffer.indexOf("\r\n")).split(' ');
        Buffers.remove(socket);
        const QString target = QString::fromLatin1(words.value(1));
        Targets << target;
        const FixtureReply reply = Script ? Script(target) : FixtureReply::Ok("no script");
        if (reply.Never)
            return;
        socket->write(reply.Raw);
        socket->flush();
        if (reply.CloseEarly)
            socket->abort();
        else
            socket->disconnectFromHost();
    }

    QTcpServer Server;
    QHash<QTcpSocket*, QByteArray> Buffers;
};

// Forwards "GET http://host:port/path" to host:port as "GET /path" and pipes
// the answer back; records the absolute URLs it was asked for.
class ProxyFixture : public QObject {
  public:
    QStringList Forwarded;

    ProxyFixture() {
        Server.listen(QHostAddress::LocalHost, 0);
        connect(&Server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = Server.nextPendingConnection()) {
                client->setParent(this);
                connect(client, &QTcpSocket::readyRead, this, [this, client] { Read(client); });
            }
        });
    }
    quint16 Port() const { return Server.serverPort(); }

  private:
    void Read(QTcpSocket* client) {
        QByteArray& buffer = Buffers[client];
        buffer += client->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> words = buffer.left(buffer.indexOf("\r\n")).split(' ');
        Buffers.remove(client);
        const QUrl url(QString::fromLatin1(words.value(1)));
        Forwarded << url.toString();
        auto* upstream = new QTcpSocket(client);
        QPointer<QTcpSocket> guard(client);
        connect(upstream, &QTcpSocket::connected, upstream, [upstream, url] {
            upstream->write("GET " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) +
                            " HTTP/1.1\r\nHost: " + url.authority().toLatin1() +
                            "\r\nConnection: close\r\n\r\n");
        });
        connect(upstream, &QTcpSocket::readyRead, client,
                [upstream, client] { client->write(upstream->readAll()); });
        connect(upstream, &QTcpSocket::disconnected, client, [client] {
            client->flush();
            client->disconnectFromHost();
        });
        upstream->connectToHost(url.host(), quint16(url.port(80)));
    }

    QTcpServer Server;
    QHash<QTcpSocket*, QByteArray> Buffers;
};

} // namespace vantora::test
