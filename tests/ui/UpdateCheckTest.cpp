// The update check against a server on loopback: what it announces, when it stays silent, how it treats a
// hostile or broken server, and the usage report that only follows the user's consent.

#include "LoopbackHttpServer.h"
#include "WindowTestSupport.h"
#include "app/AppIdentity.h"
#include "i18n/LanguageEngine.h"
#include "ui/ShowGeneralSettings.h"
#include "ui/UpdatesController.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QPushButton>

namespace lumora::test {

// Stands in for the browser: records the addresses the program asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

namespace {

const QByteArray kPage = "/UIUpdate.html";
const QByteArray kOffer = "version=2.1;url=https://lumora.example/get";

LoopbackHttpServer::Response page(const QByteArray& body) {
    LoopbackHttpServer::Response r;
    r.body = body;
    return r;
}

class UpdateCheckTest : public WindowTest {
protected:
    void SetUp() override {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &opened_, "open");
        settings::write(settings::UpdateAddress, server_.url(kPage).toString());
        server_.answer(kPage, page(kOffer));
    }
    void TearDown() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    // A window whose start-up check has run (under limits short enough for a test).
    std::unique_ptr<LumoraV2> startWindow() {
        auto w = std::make_unique<LumoraV2>(messages_);
        w->updates().fetcher().setLimits({64 * 1024, 300, 5});
        settle();
        EXPECT_TRUE(waitUntil([&] { return !w->updates().fetcher().isRunning(); }));
        return w;
    }
    void check(LumoraV2& w, bool automatic) {
        messages_->calls.clear();
        automatic ? w.updates().startAutomaticCheck() : w.updates().checkUpdates();
        ASSERT_TRUE(waitUntil([&] { return !w.updates().fetcher().isRunning(); }))
            << "the limits did not hold";
    }
    // The one message shown, or a call with an empty title when there was none or several.
    ScriptedMessageService::Call shown() const {
        return messages_->calls.size() == 1 ? messages_->calls.front() : ScriptedMessageService::Call{};
    }

    LoopbackHttpServer server_;
    UrlCatcher opened_;
};

TEST_F(UpdateCheckTest, TheMenuAnnouncesOnlyANewerVersionWithTheMajorNote) {
    const struct {
        QByteArray page;
        const char* announced; // nullptr: "no updates"; "": the page could not be read
    } cases[] = {
        {"version=2.0.3;url=https://lumora.example/get", nullptr},
        {"version=2.1;url=https://lumora.example/get", "2.1"},
        {"version=3.0.0;url=https://lumora.example/get", "3.0.0"},
        {"Winx86Version=2.0.4;WinVersion=2.0.9;url=https://lumora.example/get", "2.0.4"},
        {"version=2.1;no pair here;url=https://lumora.example/get", ""},
    };
    auto w = startWindow();
    for (const auto& c : cases) {
        server_.answer(kPage, page(c.page));
        check(*w, false);
        const auto call = shown();
        if (!c.announced) {
            EXPECT_EQ(call.title, translatedText("LumoraUpdates")) << c.page.constData();
        } else if (!*c.announced) {
            EXPECT_EQ(call.text, translatedText("ExplanationError")) << c.page.constData();
        } else {
            EXPECT_EQ(call.title, translatedText("NewVersion")) << c.page.constData();
            EXPECT_TRUE(call.text.contains(QLatin1String(c.announced))) << c.page.constData();
            EXPECT_EQ(call.text.contains(translatedText("NoteForNewVersion")), c.announced[0] == '3');
            EXPECT_TRUE(messages_->checkBoxTexts.back().isEmpty()) << "asked for: no do-not-show-again";
        }
    }
}

TEST_F(UpdateCheckTest, AHostileServerGetsNoAnswerWithinTheLimits) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 closedPort = closed.serverPort();
    closed.close();
    LoopbackHttpServer::Response huge = page(kOffer + QByteArray(10 * 1024 * 1024, ' '));
    LoopbackHttpServer::Response trickle = page(kOffer), binary = page(kOffer), otherHost, sameHost;
    trickle.trickleMs = 1000;
    binary.contentType = "application/octet-stream";
    otherHost.status = sameHost.status = 302;
    otherHost.location = server_.url("/valid", QStringLiteral("localhost")).toEncoded();
    sameHost.location = "/valid";
    server_.answer("/valid", page(kOffer));
    const struct {
        const char* name;
        QByteArray path;
        LoopbackHttpServer::Response response;
        bool answered;
    } cases[] = {
        {"unreachable", "", {}, false},
        {"10 MB", "/huge", huge, false},
        {"one byte a second", "/trickle", trickle, false},
        {"redirect to another host", "/away", otherHost, false},
        {"not text", "/binary", binary, false},
        {"exactly 64 KiB", "/full", page(kOffer.leftJustified(64 * 1024, ' ')), true},
        {"64 KiB and one byte", "/over", page(kOffer.leftJustified(64 * 1024 + 1, ' ')), false},
        {"redirect on the same host", "/moved", sameHost, true},
    };
    auto w = startWindow();
    for (const auto& c : cases) {
        server_.answer(c.path, c.response);
        QUrl address = server_.url(c.path);
        if (c.path.isEmpty())
            address.setPort(closedPort);
        settings::write(settings::UpdateAddress, address.toString());
        for (const bool automatic : {true, false}) {
            check(*w, automatic);
            const auto call = shown();
            if (c.answered)
                EXPECT_EQ(call.title, translatedText("NewVersion")) << c.name;
            else if (automatic)
                EXPECT_TRUE(messages_->calls.empty()) << c.name;
            else
                EXPECT_EQ(call.text, translatedText("ExplanationError")) << c.name;
        }
    }
}

TEST_F(UpdateCheckTest, DoNotShowUpdatesSilencesTheStartUpCheckButNotTheMenu) {
    settings::write(settings::DoNotShowUpdates, true);
    auto w = startWindow();
    EXPECT_EQ(server_.requests().size(), 1u);
    EXPECT_TRUE(messages_->calls.empty());
    check(*w, false);
    EXPECT_EQ(shown().title, translatedText("NewVersion"));
}

TEST_F(UpdateCheckTest, TheStartUpQuestionOpensTheAddressAndRemembersDoNotShowAgain) {
    auto w = startWindow();
    ASSERT_EQ(messages_->checkBoxTexts.size(), 1u);
    EXPECT_EQ(messages_->checkBoxTexts.front(), translatedText("DoNotShowAgain"));
    for (const bool yes : {true, false}) {
        settings::write(settings::DoNotShowUpdates, false);
        opened_.urls.clear();
        messages_->answers = {yes};
        messages_->checkBoxStates = {!yes};
        check(*w, true);
        EXPECT_EQ(opened_.urls,
                  yes ? QList<QUrl>{QUrl(QStringLiteral("https://lumora.example/get"))} : QList<QUrl>{});
        EXPECT_EQ(settings::read(settings::DoNotShowUpdates), !yes);
    }
}

TEST_F(UpdateCheckTest, ClosingTheWindowDropsASlowCheck) {
    LoopbackHttpServer::Response trickle = page(kOffer);
    trickle.trickleMs = 1000;
    server_.answer(kPage, trickle);
    auto w = std::make_unique<LumoraV2>(messages_);
    w->show();
    w->updates().checkUpdates();
    ASSERT_TRUE(w->updates().fetcher().isRunning());
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->updates().fetcher().isRunning());
    waitMs(100);
    EXPECT_TRUE(messages_->calls.empty());
}

TEST_F(UpdateCheckTest, TheUsageReportFollowsTheFirstStartAfterConsent) {
    settings::write(settings::UpdateAddress, QString());
    settings::write(settings::AnalyticsEndpoint, server_.url("/collect").toString());
    server_.answer("/collect", {});
    {
        auto w = startWindow();
        whenModal<ShowGeneralSettings>([](ShowGeneralSettings& d) {
            auto* box = d.findChild<QCheckBox*>(QStringLiteral("checkBox_SendUsageStatistics"));
            EXPECT_FALSE(box->isChecked()) << "off until the user turns it on";
            box->setChecked(true);
            d.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        w->showGeneralSettings();
    }
    EXPECT_TRUE(settings::read(settings::IsFirstRunVersion));
    auto w = startWindow();
    ASSERT_TRUE(waitUntil([&] { return !server_.requests().empty(); }));
    waitMs(100);
    ASSERT_EQ(server_.requests().size(), 1u) << "a report went out before the user agreed";
    const auto& post = server_.requests().front();
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.contentType, "application/x-www-form-urlencoded");
    QStringList names;
    for (const auto& field : formFields(post.body))
        names << field.first;
    EXPECT_EQ(names, QStringList({"v", "tid", "cid", "t", "ec", "ea", "el", "ev"}));
    EXPECT_TRUE(formFields(post.body).value(6).second.endsWith(QLatin1String(kApplicationVersion)));
    EXPECT_FALSE(settings::read(settings::IsFirstRunVersion));
}

} // namespace
} // namespace lumora::test

#include "UpdateCheckTest.moc"
