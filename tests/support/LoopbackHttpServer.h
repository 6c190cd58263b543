#pragma once
// A small HTTP server on 127.0.0.1 for tests of code that talks to web services. It answers each request with
// the response set for its path (404 otherwise), one request per connection, and records what it was sent.
// Bounded: it stops answering after `maxRequests` and closes everything after `lifetimeMs` or when destroyed.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <QUrl>
#include <utility>
#include <vector>

class QTcpSocket;

namespace lumora::test {

class LoopbackHttpServer : public QObject {
public:
    struct Request {
        QByteArray method, path, contentType, body;
    };
    struct Response {
        Response(QByteArray body = {}, int status = 200, QByteArray contentType = "text/plain",
                 QByteArray location = {}, int trickleMs = 0)
            : body(std::move(body)), status(status), contentType(std::move(contentType)),
              location(std::move(location)), trickleMs(trickleMs) {}
        QByteArray body;
        int status;
        QByteArray contentType;
        QByteArray location; // Location header of a redirect
        int trickleMs;       // above 0: the body goes out one byte per trickleMs
    };

    explicit LoopbackHttpServer(int maxRequests = 32, int lifetimeMs = 30000);
    ~LoopbackHttpServer() override;

    void answer(const QByteArray& path, const Response& response) { responses_[path] = response; }
    // The address of `path` here, under another name for this host when asked ("localhost").
    QUrl url(const QByteArray& path, const QString& host = QStringLiteral("127.0.0.1")) const;
    const std::vector<Request>& requests() const { return requests_; }
    void stop();

private:
    void onData(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Response& response);

    QTcpServer server_;
    QTimer lifetime_;
    QHash<QTcpSocket*, QByteArray> pending_;
    QHash<QByteArray, Response> responses_;
    std::vector<Request> requests_;
    int maxRequests_;
};

// The names and values of an application/x-www-form-urlencoded body, in order, decoded.
QList<QPair<QString, QString>> formFields(const QByteArray& body);

// Processes events until `done` holds or `ms` pass; returns `done()`.
template <typename F> bool waitUntil(F done, int ms = 5000);

} // namespace lumora::test

#include <QCoreApplication>
#include <QElapsedTimer>

template <typename F> bool lumora::test::waitUntil(F done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}
