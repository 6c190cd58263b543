#pragma once
// What the published update page says, and whether its version is newer than ours. The page is untrusted
// text: it is only split into pairs, never interpreted, and a version or address that is not plainly one
// counts as missing.

#include <QString>
#include <QUrl>
#include <vector>

namespace lumora {

struct UpdateOffer {
    QString version; // dot-separated numbers
    QUrl address;    // where to download it: http or https
    bool isValid() const { return !version.isEmpty() && !address.isEmpty(); }
};

// Reads "key=value" pairs separated by ";", blanks ignored. "Winx86Version" always sets the version,
// "WinVersion" and "version" only while none is set; the address likewise from "Winx86Url", "WinUrl" and
// "url" (the keys the page has always had, so one page serves every release). A part that is not one pair
// ends the reading; what was read before it stays.
UpdateOffer readUpdatePage(const QString& text);

// The numbers of a version text ("2.1" gives 2, 1); empty unless it is 1 to 4 numbers of 1 to 9 digits.
std::vector<int> versionNumbers(const QString& version);

// True when `candidate` is a later version than `running`: missing components count as 0 and the first
// difference decides. False when either is unreadable.
bool isNewerVersion(const QString& candidate, const QString& running);

// True for an absolute http or https address with a host: the only kind we fetch, post to or open.
bool isWebAddress(const QUrl& url);

} // namespace lumora
