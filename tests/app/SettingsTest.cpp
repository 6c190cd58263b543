// Settings defaults on a fresh store, fallbacks for unreadable values, dialog placement, the command line and
// the install-time mode.

#include "app/Settings.h"
#include "app/Startup.h"
#include "TestEnvironment.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

class SettingsTest : public ::testing::Test {
protected:
    test::IsolatedUserStore store_;
};

TEST_F(SettingsTest, FreshStoreReadsEveryDefault) {
    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("English"));
    EXPECT_EQ(settings::read(settings::WindowMode), 0);
    EXPECT_EQ(settings::read(settings::OverExposedLimit), 98);
    EXPECT_EQ(settings::read(settings::UnderExposedLimit), 2);
    EXPECT_EQ(settings::read(settings::JPGQuality), 99);
    EXPECT_EQ(settings::read(settings::PNGCompression), 3);
    EXPECT_EQ(settings::read(settings::NbSharpenImages), 3);
    EXPECT_EQ(settings::read(settings::SavingFilterIndexForHDRImage), 1);
    EXPECT_EQ(settings::read(settings::SavingFilterIndexForTMImage), 0);
    EXPECT_FALSE(settings::read(settings::FastPreviewChecked));
    EXPECT_FALSE(settings::read(settings::HighlightOverExposed));
    EXPECT_FALSE(settings::read(settings::HighlightUnderExposed));
    EXPECT_FALSE(settings::read(settings::DoNotShowUpdates));
    EXPECT_TRUE(settings::read(settings::IsFirstRunVersion));
    EXPECT_EQ(settings::read(settings::MainWindowWidth), 1155);
    EXPECT_EQ(settings::read(settings::MainWindowHeight), 858);
    EXPECT_FALSE(settings::read(settings::MainWindowMaximized));
    EXPECT_TRUE(settings::read(settings::RecentFiles).isEmpty());
    EXPECT_TRUE(settings::read(settings::CurrentVersion).isEmpty());
    const settings::DialogGeometry g = settings::readDialogGeometry(settings::kLogDialogGroup);
    EXPECT_EQ(g.size, QSize(800, 600));
    EXPECT_FALSE(g.position.has_value());
}

TEST_F(SettingsTest, ValuesLandInTheirGroupsUnderTheApplicationsStore) {
    settings::write(settings::OverExposedLimit, 90);
    settings::write(settings::CurrentVersion, QStringLiteral("2.0.3"));
    settings::write(settings::RecentFiles, QStringList{QStringLiteral("/a.mp4"), QStringLiteral("/b.mp4")});
    QSettings raw;
    EXPECT_TRUE(raw.fileName().contains(QStringLiteral("Tavrel")));
    EXPECT_EQ(raw.value(QStringLiteral("GeneralSettings/OverExposedLimit")).toInt(), 90);
    EXPECT_EQ(raw.value(QStringLiteral("currentVersion")).toString(), QStringLiteral("2.0.3"));
    EXPECT_EQ(raw.value(QStringLiteral("RecentFiles/recentFiles")).toStringList().size(), 2);
    EXPECT_EQ(settings::read(settings::OverExposedLimit), 90);
}

TEST_F(SettingsTest, UnreadableValuesFallBackToTheDefault) {
    {
        QSettings raw;
        raw.setValue(QStringLiteral("GeneralSettings/OverExposedLimit"), QStringLiteral("not a number"));
        raw.setValue(QStringLiteral("UserParameters/isFirstRunVersion"), QStringLiteral("maybe"));
        raw.setValue(QStringLiteral("UserParameters/DoNotShowUpdates"), QStringLiteral("true"));
    }
    EXPECT_EQ(settings::read(settings::OverExposedLimit), 98);
    EXPECT_TRUE(settings::read(settings::IsFirstRunVersion));
    EXPECT_TRUE(settings::read(settings::DoNotShowUpdates));
}

TEST_F(SettingsTest, WriteDefaultIfMissingKeepsAnExistingValue) {
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForHDRImage);
    EXPECT_TRUE(settings::contains(settings::SavingFilterIndexForHDRImage));
    settings::write(settings::SavingFilterIndexForTMImage, 3);
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForTMImage);
    EXPECT_EQ(settings::read(settings::SavingFilterIndexForTMImage), 3);
}

TEST(DialogPlacement, PositionIsRaisedToTheMinimumAndKeptOnScreen) {
    const QSize screen(1920, 1080);
    settings::DialogGeometry g;
    g.position = QPoint(-500, -500);
    EXPECT_EQ(settings::placeDialog(g, screen).topLeft(), QPoint(100, 40));
    g.position = QPoint(20, 10);
    EXPECT_EQ(settings::placeDialog(g, screen).topLeft(), QPoint(100, 40));
    g.position = QPoint(5000, 3000);
    EXPECT_EQ(settings::placeDialog(g, screen).topLeft(), QPoint(1820, 980));
    g.position = QPoint(300, 200);
    EXPECT_EQ(settings::placeDialog(g, screen).topLeft(), QPoint(300, 200));
}

TEST(DialogPlacement, SizeIsCappedByTheScreen) {
    settings::DialogGeometry g;
    g.size = QSize(4000, 3000);
    EXPECT_EQ(settings::placeDialog(g, QSize(1280, 720)).size(), QSize(1180, 620));
    g.size = QSize(800, 600);
    EXPECT_EQ(settings::placeDialog(g, QSize(1920, 1080)).size(), QSize(800, 600));
}

TEST_F(SettingsTest, StoredDialogGeometryRoundTrips) {
    settings::writeDialogGeometry(settings::kSettingsDialogGroup, QRect(QPoint(-500, -500), QSize(640, 480)));
    const settings::DialogGeometry g = settings::readDialogGeometry(settings::kSettingsDialogGroup);
    ASSERT_TRUE(g.position.has_value());
    EXPECT_EQ(*g.position, QPoint(-500, -500));
    EXPECT_EQ(g.size, QSize(640, 480));
    EXPECT_EQ(settings::placeDialog(g, QSize(1920, 1080)).topLeft(), QPoint(100, 40));
}

TEST(CommandLine, ArgumentsChooseTheStartKind) {
    using K = StartupRequest::Kind;
    EXPECT_EQ(parseCommandLine({}).kind, K::Normal);
    const StartupRequest open = parseCommandLine({QStringLiteral("/videos/clip.mp4")});
    EXPECT_EQ(open.kind, K::OpenPath);
    EXPECT_EQ(open.argument, QStringLiteral("/videos/clip.mp4"));
    const StartupRequest install = parseCommandLine({QStringLiteral("-ii"), QStringLiteral("Francais")});
    EXPECT_EQ(install.kind, K::Install);
    EXPECT_EQ(install.argument, QStringLiteral("Francais"));
    EXPECT_EQ(parseCommandLine({QStringLiteral("-ii"), QStringLiteral("English"), QStringLiteral("x")}).kind,
              K::Install);
    // "-ii" alone is a path to open (which then fails), and the comparison is case-sensitive.
    EXPECT_EQ(parseCommandLine({QStringLiteral("-ii")}).kind, K::OpenPath);
    EXPECT_EQ(parseCommandLine({QStringLiteral("-II"), QStringLiteral("Francais")}).kind, K::Normal);
    EXPECT_EQ(parseCommandLine({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")}).kind, K::Normal);
}

TEST_F(SettingsTest, InstallModeFirstRunOfAVersionRearmsNoticeAndFirstRunEvent) {
    settings::write(settings::DoNotShowUpdates, true);
    settings::write(settings::IsFirstRunVersion, false);
    settings::write(settings::CurrentVersion, QStringLiteral("2.0.2"));

    runInstallMode(QStringLiteral("Francais"));

    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("Francais"));
    EXPECT_EQ(settings::read(settings::CurrentVersion), QStringLiteral("2.0.3"));
    EXPECT_FALSE(settings::read(settings::DoNotShowUpdates));
    EXPECT_TRUE(settings::read(settings::IsFirstRunVersion));
}

TEST_F(SettingsTest, InstallModeForTheSameVersionOnlyChangesTheLanguage) {
    runInstallMode(QStringLiteral("English"));
    settings::write(settings::DoNotShowUpdates, true);
    settings::write(settings::IsFirstRunVersion, false);

    runInstallMode(QStringLiteral("Francais"));

    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("Francais"));
    EXPECT_TRUE(settings::read(settings::DoNotShowUpdates));
    EXPECT_FALSE(settings::read(settings::IsFirstRunVersion));
}

} // namespace
