#include "net/AnalyticsManager.h"

#include "app/AppIdentity.h"
#include "app/Settings.h"
#include "net/UpdatePage.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUuid>
#include <utility>
#include <vector>

namespace lumora {
namespace {

constexpr const char* kTrackingId = "UA-203000-1";
constexpr int kReportTimeoutMs = 15000;

// application/x-www-form-urlencoded, fields in the given order. Everything but the unreserved characters is
// percent-encoded, so "&", "=" and "+" inside a value stay what they are.
QByteArray formBody(const std::vector<std::pair<const char*, QString>>& fields) {
    QByteArray body;
    for (const auto& [name, value] : fields) {
        if (!body.isEmpty())
            body += '&';
        body += QByteArray(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

} // namespace

_AnalyticsManager& _AnalyticsManager::instance() {
    static QPointer<_AnalyticsManager> instance;
    if (!instance)
        instance = new _AnalyticsManager(QString::fromLatin1(kTrackingId), QCoreApplication::instance());
    return *instance;
}

_AnalyticsManager::_AnalyticsManager(const QString& trackingId, QObject* parent)
    : QObject(parent), trackingId_(trackingId) {
    connect(&network_, &QNetworkAccessManager::finished, this,
            [](QNetworkReply* reply) { reply->deleteLater(); });
}

bool _AnalyticsManager::sendToAnalytics(const QString& type, const QString& a, const QString& b,
                                        const QString& c, const QString& d) {
    if (!settings::read(settings::SendUsageStatistics))
        return false;
    const QUrl endpoint(settings::read(settings::AnalyticsEndpoint));
    if (!isWebAddress(endpoint))
        return false;

    std::vector<std::pair<const char*, QString>> fields{
        {"v", QStringLiteral("1")},
        {"tid", trackingId_},
        {"cid", QUuid::createUuid().toString(QUuid::WithoutBraces)},
    };
    if (type == QLatin1String("event"))
        fields.insert(fields.end(), {{"t", type}, {"ec", a}, {"ea", b}, {"el", c}, {"ev", d}});
    else if (type == QLatin1String("pageview"))
        fields.insert(fields.end(),
                      {{"t", type}, {"dp", a}, {"dt", b}}); // no host name: it names the machine
    else
        return false;

    QNetworkRequest request(endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kReportTimeoutMs);
    network_.post(request, formBody(fields));
    return true;
}

bool trackEvent(const QString& category, const QString& action, const QString& label, const QString& value) {
    return _AnalyticsManager::instance().sendToAnalytics(QStringLiteral("event"), category, action, label,
                                                         value);
}

void reportFirstStartOfVersion() {
    if (!settings::read(settings::IsFirstRunVersion) || !settings::read(settings::SendUsageStatistics))
        return;
    const QString action = QStringLiteral("NewInstalWinSt");
    const QString label = action + QStringLiteral("_v") + QString::fromLatin1(kApplicationVersion);
    if (trackEvent(QStringLiteral("NewInstal"), action, label, QStringLiteral("1")))
        settings::write(settings::IsFirstRunVersion, false);
}

} // namespace lumora
