#pragma once
// A support desk's upload server for the dialog's tests, on loopback, where plain http is allowed.

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// Takes one PUT; answers 201 once the whole body has come, or never when `stall`.
class DeskServer : public QObject {
public:
    explicit DeskServer(bool stall) : stall(stall)
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { take(socket); });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/desk/N.zip").arg(server.serverPort())); }
    QByteArray body() const { return received.mid(received.indexOf("\r\n\r\n") + 4); }
    QByteArray requestLine() const { return received.left(received.indexOf("\r\n")); }

private:
    void take(QTcpSocket *socket)
    {
        received += socket->readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        const qsizetype at = received.toLower().indexOf("content-length:");
        if (stall || end < 0 || at < 0)
            return;
        const qsizetype length = received.mid(at + 15, received.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
        if (received.size() - end - 4 >= length)
            socket->write("HTTP/1.1 201 Created\r\nETag: \"e1\"\r\nContent-Length: 0\r\n\r\n");
    }

    QTcpServer server;
    const bool stall;
    QByteArray received;
};
