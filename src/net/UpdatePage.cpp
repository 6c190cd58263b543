#include "net/UpdatePage.h"

#include <QVersionNumber>

#include <algorithm>

namespace lumora {
namespace {

constexpr int kMaxVersionComponents = 4;
constexpr int kMaxComponentDigits = 9; // always fits an int

// Keys in decreasing priority: the first always sets its value, the others only while it is still empty.
void take(QString& value, const QString& key, const QString& given, const char* first, const char* second,
          const char* third) {
    if (key == QLatin1String(first) ||
        ((key == QLatin1String(second) || key == QLatin1String(third)) && value.isEmpty()))
        value = given;
}

} // namespace

UpdateOffer readUpdatePage(const QString& text) {
    QString compact;
    compact.reserve(text.size());
    for (const QChar c : text)
        if (!c.isSpace())
            compact.append(c);

    QString version, address;
    for (const QString& part : compact.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList pair = part.split(QLatin1Char('='), Qt::SkipEmptyParts);
        if (pair.size() != 2)
            break;
        take(version, pair[0], pair[1], "Winx86Version", "WinVersion", "version");
        take(address, pair[0], pair[1], "Winx86Url", "WinUrl", "url");
    }

    UpdateOffer offer;
    const QUrl url(address, QUrl::StrictMode);
    if (versionNumbers(version).empty() || !isWebAddress(url))
        return offer;
    offer.version = version;
    offer.address = url;
    return offer;
}

std::vector<int> versionNumbers(const QString& version) {
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() > kMaxVersionComponents)
        return {};
    std::vector<int> numbers;
    for (const QString& part : parts) {
        const bool digits = std::all_of(
            part.begin(), part.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        if (part.isEmpty() || part.size() > kMaxComponentDigits || !digits)
            return {};
        numbers.push_back(part.toInt());
    }
    return numbers;
}

bool isNewerVersion(const QString& candidate, const QString& running) {
    if (versionNumbers(candidate).empty() || versionNumbers(running).empty())
        return false;
    // Normalised, missing components count as 0 ("2.1" is "2.1.0").
    return QVersionNumber::compare(QVersionNumber::fromString(candidate).normalized(),
                                   QVersionNumber::fromString(running).normalized()) > 0;
}

bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

} // namespace lumora
