// The update page is untrusted text: what it may announce, what ends its reading, and how versions compare.
// The usage report's form, read back by a server on loopback.

#include "net/UpdatePage.h"
#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "app/Settings.h"
#include "net/AnalyticsManager.h"

#include <QUuid>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

struct PageCase {
    const char* page;
    const char* version; // empty: no valid offer
    const char* address;
};

TEST(UpdatePage, ReadsOnlyWhatIsPlainlyAVersionAndAWebAddress) {
    const PageCase cases[] = {
        {"version=2.1;url=https://a.example/d", "2.1", "https://a.example/d"},
        {" version = 2.1 ;\r\n url = https://a.example/d ;\n", "2.1", "https://a.example/d"},
        {"WinVersion=2.0.9;Winx86Version=2.0.4;url=http://a.example/", "2.0.4", "http://a.example/"},
        {"version=2.2;WinVersion=2.0.9;url=http://a.example/", "2.2", "http://a.example/"},
        {"url=https://c.example/;WinUrl=https://b.example/;version=3", "3", "https://c.example/"},
        {"WinUrl=https://b.example/;Winx86Url=https://a.example/;version=3", "3", "https://a.example/"},
        // A part that is not one pair ends the reading; what came before stays.
        {"version=2.1;url=https://a.example/;junk;version=9", "2.1", "https://a.example/"},
        {"version=2.1;junk;url=https://a.example/", "", ""},
        {"version=2.1;url=https://a.example/?x=1", "", ""},
        // Hostile or broken values count as missing.
        {"version=<b>3</b>;url=https://a.example/", "", ""},
        {"version=1.2.3.4.5;url=https://a.example/", "", ""},
        {"version=2..1;url=https://a.example/", "", ""},
        {"version=9999999999;url=https://a.example/", "", ""},
        {"version=3;url=file:///usr/bin/xterm", "", ""},
        {"version=3;url=javascript:alert(1)", "", ""},
        {"version=3;url=https:///nohost", "", ""},
        {"", "", ""},
    };
    for (const PageCase& c : cases) {
        const UpdateOffer offer = readUpdatePage(QString::fromUtf8(c.page));
        EXPECT_EQ(offer.isValid(), *c.version != '\0') << c.page;
        if (offer.isValid()) {
            EXPECT_EQ(offer.version, QLatin1String(c.version)) << c.page;
            EXPECT_EQ(offer.address, QUrl(QString::fromLatin1(c.address))) << c.page;
        }
    }
}

TEST(UpdatePage, ComparesVersionsNumberByNumber) {
    const struct {
        const char* candidate;
        bool newer;
    } cases[] = {{"2.0.3", false}, {"2.1", true},    {"2.0.10", true}, {"2.0.2.9", false}, {"2.0.3.1", true},
                 {"3", true},      {"1.9.9", false}, {"2.0", false},   {"x.1", false},     {"", false}};
    for (const auto& c : cases)
        EXPECT_EQ(isNewerVersion(QString::fromLatin1(c.candidate), QStringLiteral("2.0.3")), c.newer)
            << c.candidate;
}

TEST(UsageReport, SendsTheFieldsInOrderFormEncodedAndNothingWithoutConsent) {
    test::IsolatedUserStore store;
    test::LoopbackHttpServer server;
    server.answer("/collect", {});
    settings::write(settings::AnalyticsEndpoint, server.url("/collect").toString());
    _AnalyticsManager analytics(QStringLiteral("UA-1-2"));
    EXPECT_FALSE(analytics.sendToAnalytics("pageview", "/a", "b", "", ""));

    settings::write(settings::SendUsageStatistics, true);
    const QString page = QStringLiteral("/a&b=c+d?"), title = QStringLiteral("Été 100%");
    ASSERT_TRUE(analytics.sendToAnalytics("pageview", page, title, "", ""));
    ASSERT_TRUE(test::waitUntil([&] { return !server.requests().empty(); }));
    const auto& request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.contentType, "application/x-www-form-urlencoded");
    QStringList names, values;
    for (const auto& [name, value] : test::formFields(request.body)) {
        names << name;
        values << value;
    }
    // No host name ("dh"): it would identify the machine.
    EXPECT_EQ(names, QStringList({"v", "tid", "cid", "t", "dp", "dt"}));
    EXPECT_EQ(values.value(1), QStringLiteral("UA-1-2"));
    EXPECT_FALSE(QUuid::fromString(values.value(2)).isNull());
    EXPECT_EQ(values.value(4), page);
    EXPECT_EQ(values.value(5), title);
    EXPECT_EQ(server.requests().size(), 1u) << "the report without consent reached the server";
}

} // namespace
