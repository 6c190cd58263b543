#pragma once
// Reads one small text page over HTTP(S) without trusting the server: the answer must come whole within a
// time limit, stay under a size limit, be text, and redirects may only stay on the same host and scheme.
// Anything else is reported as a failure with its reason. Everything runs on the caller's thread through
// Qt's asynchronous network layer; nothing here waits.

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkReply;

namespace lumora {

class PageFetcher : public QObject {
    Q_OBJECT
public:
    struct Limits {
        qint64 maxBytes = 64 * 1024;
        int totalMs = 15000; // from the request to the last byte, redirects included
        int maxRedirects = 5;
    };

    explicit PageFetcher(QObject* parent = nullptr);
    ~PageFetcher() override;

    void setLimits(const Limits& limits) { limits_ = limits; }
    const Limits& limits() const { return limits_; }

    // Starts reading `address`, silently abandoning a read in progress. An address that is not http(s)
    // fails at once, before this returns.
    void fetch(const QUrl& address);
    // Drops the read in progress without reporting it.
    void abort();
    bool isRunning() const { return !reply_.isNull(); }

signals:
    // Once per fetch that was not abandoned: the page's text, or ok false and why.
    void finished(bool ok, const QString& text, const QString& failure);

private:
    void onRedirected(const QUrl& target);
    void onReadyRead();
    void onFinished();
    void fail(const QString& reason);
    void release();

    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QTimer deadline_;
    QUrl origin_;
    QByteArray received_;
    Limits limits_;
};

} // namespace lumora
