// A stand-in for the analysis server: records its arguments in the file
// named by VANTORA_STANDIN_LOG, then listens on the --listen address and
// answers every connection with a short HTTP answer marked as an analysis
// server's until it is ended. VANTORA_STANDIN_PID names a file for its
// process id.
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QFile log(qEnvironmentVariable("VANTORA_STANDIN_LOG"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        log.write(args.join(QLatin1Char(' ')).toUtf8());
    log.close();
    QFile pid(qEnvironmentVariable("VANTORA_STANDIN_PID"));
    if (pid.open(QIODevice::WriteOnly | QIODevice::Truncate))
        pid.write(QByteArray::number(QCoreApplication::applicationPid()));
    pid.close();
    const int at = args.indexOf(QStringLiteral("--listen"));
    const QString address = args.value(at + 1);
    const int colon = address.lastIndexOf(QLatin1Char(':'));
    QTcpServer server;
    if (at < 0 || colon < 0 ||
        !server.listen(QHostAddress(address.left(colon)), quint16(address.mid(colon + 1).toUInt())))
        return 2;
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            socket->write("HTTP/1.0 200 OK\r\nX-Vantora-Server: 1\r\nContent-Length: 9\r\n\r\n"
                          "stand-in\n");
            socket->disconnectFromHost();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return app.exec();
}
