#include "LoopbackHttpServer.h"

#include <QPointer>
#include <QTcpSocket>

namespace lumora::test {

LoopbackHttpServer::LoopbackHttpServer(int maxRequests, int lifetimeMs) : maxRequests_(maxRequests) {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    lifetime_.setSingleShot(true);
    connect(&lifetime_, &QTimer::timeout, this, &LoopbackHttpServer::stop);
    lifetime_.start(lifetimeMs);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stop();
}

QUrl LoopbackHttpServer::url(const QByteArray& path, const QString& host) const {
    return QUrl(
        QStringLiteral("http://%1:%2%3").arg(host).arg(server_.serverPort()).arg(QString::fromLatin1(path)));
}

void LoopbackHttpServer::stop() {
    server_.close();
    for (QTcpSocket* socket : findChildren<QTcpSocket*>())
        socket->abort();
    pending_.clear();
}

void LoopbackHttpServer::onData(QTcpSocket* socket) {
    QByteArray& data = pending_[socket];
    data += socket->readAll();
    const int headEnd = data.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    Request request;
    qsizetype length = 0;
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.path = first.value(1);
    for (const QByteArray& line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            length = value.toLongLong();
        else if (name == "content-type")
            request.contentType = value;
    }
    if (data.size() < headEnd + 4 + length)
        return;
    request.body = data.mid(headEnd + 4, length);
    pending_.remove(socket);
    if (int(requests_.size()) >= maxRequests_) {
        socket->abort();
        return;
    }
    requests_.push_back(request);
    respond(socket, responses_.value(request.path, Response{{}, 404}));
}

void LoopbackHttpServer::respond(QTcpSocket* socket, const Response& response) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Test\r\nConnection: close\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (!response.location.isEmpty())
        head += "Location: " + response.location + "\r\n";
    socket->write(head + "\r\n");
    if (response.trickleMs <= 0) {
        socket->write(response.body);
        socket->disconnectFromHost();
        return;
    }
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket, timer, body = response.body, sent = 0]() mutable {
        socket->write(body.mid(sent++, 1));
        if (sent >= body.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(response.trickleMs);
}

QList<QPair<QString, QString>> formFields(const QByteArray& body) {
    QList<QPair<QString, QString>> fields;
    for (QByteArray field : body.split('&')) {
        const int equals = field.indexOf('=');
        fields.append({QUrl::fromPercentEncoding(field.left(equals).replace('+', ' ')),
                       QUrl::fromPercentEncoding(field.mid(equals + 1).replace('+', ' '))});
    }
    return fields;
}

} // namespace lumora::test
