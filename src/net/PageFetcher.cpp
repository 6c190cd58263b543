#include "net/PageFetcher.h"

#include "net/UpdatePage.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace lumora {
namespace {

// The page is plain text; a static server may label it as HTML because of its name. Either way it is only
// read as characters. A missing type is accepted, anything else (images, archives, scripts) is not.
bool isTextType(const QString& contentType) {
    const QString media = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    return media.isEmpty() || media == QLatin1String("text/plain") || media == QLatin1String("text/html");
}

} // namespace

PageFetcher::PageFetcher(QObject* parent) : QObject(parent) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("no complete answer within %1 ms").arg(limits_.totalMs)); });
}

PageFetcher::~PageFetcher() {
    abort();
}

void PageFetcher::fetch(const QUrl& address) {
    abort();
    origin_ = address;
    received_.clear();
    if (!isWebAddress(address)) {
        emit finished(false, QString(),
                      QStringLiteral("not an http or https address: '%1'").arg(address.toString()));
        return;
    }
    QNetworkRequest request(address);
    // Every redirect is shown to onRedirected, which lets only those to the same host and scheme through.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(limits_.maxRedirects);
    request.setRawHeader("Accept", "text/plain");
    reply_ = network_.get(request);
    // Qt buffers no more than one byte beyond the limit for us, whatever the server sends.
    reply_->setReadBufferSize(limits_.maxBytes + 1);
    connect(reply_, &QNetworkReply::redirected, this, &PageFetcher::onRedirected);
    connect(reply_, &QNetworkReply::readyRead, this, &PageFetcher::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &PageFetcher::onFinished);
    deadline_.start(limits_.totalMs);
}

void PageFetcher::abort() {
    deadline_.stop();
    release();
}

void PageFetcher::release() {
    if (!reply_)
        return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void PageFetcher::onRedirected(const QUrl& target) {
    const QUrl resolved = origin_.resolved(target);
    if (resolved.scheme() != origin_.scheme() || resolved.host() != origin_.host()) {
        fail(QStringLiteral("redirected away from %1 to '%2'").arg(origin_.host(), resolved.toString()));
        return;
    }
    emit reply_->redirectAllowed();
}

void PageFetcher::onReadyRead() {
    received_ += reply_->read(limits_.maxBytes + 1 - received_.size());
    if (received_.size() > limits_.maxBytes)
        fail(QStringLiteral("the page is larger than %1 bytes").arg(limits_.maxBytes));
}

void PageFetcher::onFinished() {
    const QNetworkReply::NetworkError error = reply_->error();
    const QString errorText = reply_->errorString();
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString type = reply_->header(QNetworkRequest::ContentTypeHeader).toString();
    onReadyRead();
    if (!reply_)
        return; // too large: already reported
    if (error != QNetworkReply::NoError)
        return fail(errorText);
    if (status != 200)
        return fail(QStringLiteral("HTTP status %1").arg(status));
    if (!isTextType(type))
        return fail(QStringLiteral("not a text page: '%1'").arg(type));
    deadline_.stop();
    release();
    emit finished(true, QString::fromUtf8(received_), QString());
}

void PageFetcher::fail(const QString& reason) {
    deadline_.stop();
    release();
    emit finished(false, QString(), reason);
}

} // namespace lumora
