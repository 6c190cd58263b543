#pragma once
// Usage reports, sent only with the user's consent ("SendUsageStatistics", off until the user turns it on in
// the settings dialog). A report is one form-encoded POST in the measurement-protocol style to the endpoint
// of the settings; it carries a fresh random client id per call and nothing that identifies the machine or
// the user. Replies are not examined and failures are ignored: a report is never worth bothering the user.

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

namespace lumora {

class _AnalyticsManager : public QObject {
    Q_OBJECT
public:
    // The process-wide instance, created on first use and owned by the application object.
    static _AnalyticsManager& instance();

    explicit _AnalyticsManager(const QString& trackingId, QObject* parent = nullptr);

    // type "event": a = category, b = action, c = label, d = value; type "pageview": a = page, b = title.
    // False when nothing was sent (no consent, no web address as endpoint, unknown type).
    bool sendToAnalytics(const QString& type, const QString& a, const QString& b, const QString& c,
                         const QString& d);

private:
    QString trackingId_;
    QNetworkAccessManager network_;
};

// Reports one event through the process-wide instance.
bool trackEvent(const QString& category, const QString& action, const QString& label, const QString& value);

// At the first start of a version with consent given, reports the installation once; without consent the
// version stays "first run", so the report follows at the first start after the user agrees.
void reportFirstStartOfVersion();

} // namespace lumora
