// The update page is untrusted text: what ends its reading and which values count as missing.

#include "net/UpdatePage.h"

#include <gtest/gtest.h>

namespace {

using namespace lumora;

TEST(UpdatePage, ReadsOnlyWhatIsPlainlyAVersionAndAWebAddress) {
    const struct {
        const char* page;
        const char* version; // empty: no valid offer
        const char* address;
    } cases[] = {
        {" version = 2.1 ;\r\n url = https://a.example/d ;\n", "2.1", "https://a.example/d"},
        {"version=2.2;WinVersion=2.0.9;url=http://a.example/", "2.2", "http://a.example/"},
        {"WinUrl=https://b.example/;Winx86Url=https://a.example/;version=3", "3", "https://a.example/"},
        {"version=2.1;url=https://a.example/;junk;version=9", "2.1", "https://a.example/"},
        {"version=2.1;url=https://a.example/?x=1", "", ""},
        {"version=<b>3</b>;url=https://a.example/", "", ""},
        {"version=1.2.3.4.5;url=https://a.example/", "", ""},
        {"version=2..1;url=https://a.example/", "", ""},
        {"version=9999999999;url=https://a.example/", "", ""},
        {"version=3;url=file:///usr/bin/xterm", "", ""},
        {"version=3;url=javascript:alert(1)", "", ""},
        {"version=3;url=https:///no-host", "", ""},
    };
    for (const auto& c : cases) {
        const UpdateOffer offer = readUpdatePage(QString::fromUtf8(c.page));
        EXPECT_EQ(offer.version, QLatin1String(c.version)) << c.page;
        EXPECT_EQ(offer.address, QUrl(QString::fromLatin1(c.address))) << c.page;
    }
}

} // namespace
