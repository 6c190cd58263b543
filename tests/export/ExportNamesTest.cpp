// Proposed export names and the numbered name chosen when an existing file is kept.

#include "export/ExportNames.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

QString englishQuality(const std::string& key) {
    if (key == "Fast")
        return QStringLiteral("Fast");
    if (key == "Good")
        return QStringLiteral("Good");
    if (key == "Optimal")
        return QStringLiteral("Optimal");
    return QStringLiteral("?") + QString::fromStdString(key);
}

TEST(DefaultExportName, SinglePhotoIsItsCompleteBaseName) {
    ExportNameRequest r;
    r.mediumPath = QStringLiteral("/pictures/trip.day1.jpg");
    r.isSequence = false;
    EXPECT_EQ(defaultExportName(r, englishQuality), QStringLiteral("trip.day1"));
    r.forLightImage = true; // irrelevant without a sequence
    EXPECT_EQ(defaultExportName(r, englishQuality), QStringLiteral("trip.day1"));
}

TEST(DefaultExportName, CurrentFrameAddsThePlayersIndex) {
    ExportNameRequest r;
    r.mediumPath = QStringLiteral("/videos/clip.mp4");
    r.isSequence = true;
    r.currentIndex = 120;
    EXPECT_EQ(defaultExportName(r, englishQuality), QStringLiteral("clip (120)"));
    r.currentIndex = 0;
    r.mediumPath = QStringLiteral("/videos/my clip.v2.mov");
    EXPECT_EQ(defaultExportName(r, englishQuality), QStringLiteral("my clip.v2 (0)"));
}

TEST(DefaultExportName, LightImageRecordsTheStackingChoices) {
    ExportNameRequest r;
    r.mediumPath = QStringLiteral("/videos/clip.mp4");
    r.isSequence = true;
    r.forLightImage = true;
    r.run = {30, 50, true, 1, 7};
    EXPECT_EQ(defaultExportName(r, englishQuality), QStringLiteral("Hi_clip (A3_M5a_Go7)"));

    // Integer division of the sliders, no "a" without automatic estimation, translated quality prefix.
    r.run = {9, 29, false, 2, 15};
    EXPECT_EQ(defaultExportName(r, englishQuality), QStringLiteral("Hi_clip (A0_M2_Op15)"));
    const auto french = [](const std::string& key) {
        return key == "Fast" ? QStringLiteral("Rapide") : QStringLiteral("x");
    };
    r.run = {100, 0, false, 0, 3};
    EXPECT_EQ(defaultExportName(r, french), QStringLiteral("Hi_clip (A10_M0_Ra3)"));
}

TEST(DefaultExportName, LightImageUsesTheShortBaseName) {
    ExportNameRequest r;
    r.mediumPath = QStringLiteral("/videos/holiday.part2.mp4");
    r.isSequence = true;
    r.forLightImage = true;
    r.run = {10, 20, false, 0, 5};
    EXPECT_EQ(defaultExportName(r, englishQuality), QStringLiteral("Hi_holiday (A1_M2_Fa5)"));
}

class UniqueExportPath : public ::testing::Test {
protected:
    void touch(const QString& name) {
        QFile f(dir_.path() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QString expected(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir_;
};

TEST_F(UniqueExportPath, StartsAtOneEvenWhenTheNameItselfIsFree) {
    EXPECT_EQ(uniqueExportPath(dir_.path(), QStringLiteral("shot"), QStringLiteral(".jpg")),
              expected(QStringLiteral("shot-1.jpg")));
}

TEST_F(UniqueExportPath, TakesTheFirstFreeNumber) {
    touch(QStringLiteral("shot.jpg"));
    touch(QStringLiteral("shot-1.jpg"));
    touch(QStringLiteral("shot-2.jpg"));
    touch(QStringLiteral("shot-4.jpg"));
    EXPECT_EQ(uniqueExportPath(dir_.path(), QStringLiteral("shot"), QStringLiteral(".jpg")),
              expected(QStringLiteral("shot-3.jpg")));
    // Another extension does not count as taken.
    EXPECT_EQ(uniqueExportPath(dir_.path(), QStringLiteral("shot"), QStringLiteral(".tif")),
              expected(QStringLiteral("shot-1.tif")));
}

TEST_F(UniqueExportPath, KeepsAwkwardNamesAsTheyAre) {
    const QString name = QStringLiteral("-été 100% \"best\" (3)");
    touch(name + QStringLiteral("-1.psd"));
    EXPECT_EQ(uniqueExportPath(dir_.path(), name, QStringLiteral(".psd")),
              expected(name + QStringLiteral("-2.psd")));
}

} // namespace
