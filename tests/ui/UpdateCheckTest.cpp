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
#include <QVersionNumber>

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

// An offer of the running version's next minor version.
const QByteArray kOffer = [] {
    const QVersionNumber v = QVersionNumber::fromString(QLatin1String(kApplicationVersion));
    return QStringLiteral("version=%1;url=https://lumora.example/get")
        .arg(QVersionNumber(v.majorVersion(), v.minorVersion() + 1).toString())
        .toLatin1();
}();

class UpdateCheckTest : public WindowTest {
protected:
    void SetUp() override {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &opened_, "open");
        settings::write(settings::UpdateAddress, server_.url("/UIUpdate.html").toString());
        server_.answer("/UIUpdate.html", {kOffer});
    }
    void TearDown() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    // A window whose start-up check has run, with a time limit short enough for a test.
    std::unique_ptr<LumoraV2> startWindow() {
        auto w = std::make_unique<LumoraV2>(messages_);
        PageFetcher::Limits limits = w->updates().fetcher().limits();
        limits.totalMs = 300; // the program's size and redirect limits stay
        w->updates().fetcher().setLimits(limits);
        settle();
        EXPECT_TRUE(waitUntil([&] { return !w->updates().fetcher().isRunning(); }));
        return w;
    }
    // Runs one check; the title and text of the one message it showed (empty when none).
    ScriptedMessageService::Call check(LumoraV2& w, bool automatic) {
        messages_->calls.clear();
        automatic ? w.updates().startAutomaticCheck() : w.updates().checkUpdates();
        EXPECT_TRUE(waitUntil([&] { return !w.updates().fetcher().isRunning(); }))
            << "the limits did not hold";
        EXPECT_LE(messages_->calls.size(), 1u);
        return messages_->calls.empty() ? ScriptedMessageService::Call{} : messages_->calls.front();
    }

    LoopbackHttpServer server_;
    UrlCatcher opened_;
};

TEST_F(UpdateCheckTest, TheMenuAnnouncesOnlyANewerVersionWithTheMajorNote) {
    // Offers relative to the running version: the same, the next minor and major versions, and a page naming
    // the 32-bit build's version first.
    const QVersionNumber current = QVersionNumber::fromString(QLatin1String(kApplicationVersion));
    const QString same = current.toString(),
                  minor = QVersionNumber(current.majorVersion(), current.minorVersion() + 1).toString(),
                  major = QVersionNumber(current.majorVersion() + 1, 0, 0).toString(),
                  micro = QVersionNumber(current.majorVersion(), current.minorVersion(),
                                         current.microVersion() + 1)
                              .toString();
    const auto page = [](const QString& pairs) {
        return (pairs + QStringLiteral(";url=https://lumora.example/get")).toLatin1();
    };
    const struct {
        QByteArray page;
        QString announced; // null: "no updates"; empty: the page could not be read
        bool majorNote;
    } cases[] = {
        {page(QStringLiteral("version=") + same), QString(), false},
        {page(QStringLiteral("version=") + minor), minor, false},
        {page(QStringLiteral("version=") + major), major, true},
        {page(QStringLiteral("Winx86Version=%1;WinVersion=%2").arg(micro, major)), micro, false},
        {page(QStringLiteral("version=%1;no pair here").arg(minor)), QStringLiteral(""), false},
    };
    auto w = startWindow();
    for (const auto& c : cases) {
        server_.answer("/UIUpdate.html", {c.page});
        const auto shown = check(*w, false);
        if (c.announced.isNull()) {
            EXPECT_EQ(shown.title, translatedText("LumoraUpdates")) << c.page.constData();
        } else if (c.announced.isEmpty()) {
            EXPECT_EQ(shown.text, translatedText("ExplanationError")) << c.page.constData();
        } else {
            EXPECT_EQ(shown.title, translatedText("NewVersion")) << c.page.constData();
            EXPECT_TRUE(shown.text.contains(c.announced)) << c.page.constData();
            EXPECT_EQ(shown.text.contains(translatedText("NoteForNewVersion")), c.majorNote);
        }
    }
}

TEST_F(UpdateCheckTest, AHostileServerGetsNoAnswerWithinTheLimits) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 closedPort = closed.serverPort();
    closed.close();
    server_.answer("/valid", {kOffer});
    const struct {
        const char* name;
        LoopbackHttpServer::Response response;
        bool answered;
    } cases[] = {
        {"unreachable", {}, false},
        {"10 MB", {kOffer + QByteArray(10 * 1024 * 1024, ' ')}, false},
        {"one byte a second", {kOffer, 200, "text/plain", {}, 1000}, false},
        {"redirect to another host",
         {{}, 302, "text/plain", server_.url("/valid", "localhost").toEncoded()},
         false},
        {"not text", {kOffer, 200, "application/octet-stream"}, false},
        {"exactly 64 KiB", {kOffer.leftJustified(64 * 1024, ' ')}, true},
        {"64 KiB and one byte", {kOffer.leftJustified(64 * 1024 + 1, ' ')}, false},
        {"redirect on the same host", {{}, 302, "text/plain", "/valid"}, true},
    };
    auto w = startWindow();
    for (const auto& c : cases) {
        const QByteArray path = "/" + QByteArray(c.name).replace(' ', '-');
        server_.answer(path, c.response);
        QUrl address = server_.url(path);
        if (!qstrcmp(c.name, "unreachable"))
            address.setPort(closedPort);
        settings::write(settings::UpdateAddress, address.toString());
        for (const bool automatic : {true, false}) {
            const auto shown = check(*w, automatic);
            const char* expected = c.answered ? "NewVersion" : automatic ? nullptr : "Error";
            EXPECT_EQ(shown.title, expected ? translatedText(expected) : QString()) << c.name << automatic;
        }
    }
}

TEST_F(UpdateCheckTest, DoNotShowAgainSilencesTheStartUpCheckButNotTheMenu) {
    messages_->answers = {true};
    messages_->checkBoxStates = {true};
    auto w = startWindow();
    ASSERT_EQ(messages_->checkBoxTexts.size(), 1u);
    EXPECT_EQ(messages_->checkBoxTexts.front(), translatedText("DoNotShowAgain"));
    EXPECT_EQ(opened_.urls, QList<QUrl>{QUrl(QStringLiteral("https://lumora.example/get"))});
    EXPECT_TRUE(settings::read(settings::DoNotShowUpdates));

    EXPECT_TRUE(check(*w, true).title.isEmpty());
    EXPECT_EQ(check(*w, false).title, translatedText("NewVersion"));
    EXPECT_TRUE(messages_->checkBoxTexts.back().isEmpty()) << "asked for: no do-not-show-again box";
    EXPECT_EQ(opened_.urls.size(), 1) << "answered No, yet the page was opened";
}

TEST_F(UpdateCheckTest, ClosingTheWindowDropsASlowCheck) {
    server_.answer("/UIUpdate.html", {kOffer, 200, "text/plain", {}, 1000});
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
    ModalWatcher<ShowGeneralSettings> consent([](ShowGeneralSettings& d) {
        auto* box = d.findChild<QCheckBox*>(QStringLiteral("checkBox_SendUsageStatistics"));
        EXPECT_FALSE(box->isChecked()) << "off until the user turns it on";
        box->setChecked(true);
        d.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    });
    startWindow()->showGeneralSettings();
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
