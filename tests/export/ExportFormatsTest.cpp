// Export formats and names: suffix lookup, the save dialog's filter entries, proposed names and the numbered
// name chosen when an existing file is kept.

#include "export/ExportFormats.h"
#include "TestEnvironment.h"
#include "export/ExportNames.h"
#include "i18n/LanguageEngine.h"
#include "imageio/ImageFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

// Marks each key, so the filter's structure is checked independently of any language file.
QString bracketed(const std::string& key) {
    return QStringLiteral("<%1>").arg(QString::fromStdString(key));
}

TEST(ExportFormats, SuffixLookupAndFilterEntriesAgree) {
    const QStringList parts = exportDialogFilter(bracketed).split(QStringLiteral(";;"));
    for (int i = 0; i < kExportFormatCount; ++i) {
        const ExportFormat& f = exportFormats()[size_t(i)];
        EXPECT_EQ(exportFormatIndexForSuffix(QString::fromLatin1(f.extension).toUpper()), i) << f.extension;
        EXPECT_EQ(exportFilterEntry(i, bracketed), parts.at(i))
            << "the save dialog could not preselect " << i;
        EXPECT_EQ(f.offeredDepths().front(), f.defaultDepth()) << f.extension;
    }
    for (const char* other : {"png", "jpeg", "tiff", "", ".jpg", "jpg "})
        EXPECT_EQ(exportFormatIndexForSuffix(QString::fromLatin1(other)), -1) << other;
    EXPECT_TRUE(exportFilterEntry(-1, bracketed).isEmpty());
    EXPECT_TRUE(exportFilterEntry(kExportFormatCount, bracketed).isEmpty());
    EXPECT_FALSE(exportFormatCarriesExif(-1));
    EXPECT_FALSE(exportFormatCarriesExif(kExportFormatCount));

    // The labels come from the language files, in every shipped language.
    auto& engine = LanguageEngine::instance();
    const std::string lang = test::sourceDir() + "/resources/Lang/";
    engine.setApplicationLanguageDirectory(lang);
    engine.setUserLanguageDirectory(lang);
    for (const char* language : {"English", "Francais"}) {
        ASSERT_TRUE(engine.setLanguage(language));
        const auto tr = [&](const std::string& key) { return engine.translatedText(key); };
        const QString filter = exportDialogFilter(tr);
        for (const ExportFormat& f : exportFormats()) {
            const QString label = tr(f.labelKey);
            EXPECT_NE(label, QString::fromLatin1(f.labelKey)) << language << " lacks " << f.labelKey;
            EXPECT_TRUE(filter.contains(label + QStringLiteral(" (*.") + QLatin1String(f.extension) + ')'));
        }
    }
    engine.setLanguage("English");
}

// The depths offered are ones the formats really store: each written at that depth reads back at it.
TEST(ExportFormats, EveryOfferedDepthIsTheDepthOfTheWrittenFile) {
    QTemporaryDir dir;
    const cv::Mat picture(6, 8, CV_8UC3, cv::Scalar(10, 120, 240));
    for (const ExportFormat& f : exportFormats()) {
        ASSERT_FALSE(f.offeredDepths().empty()) << f.extension;
        EXPECT_EQ(f.asksForDepth(), f.offeredDepths().size() > 1) << f.extension;
        // OpenEXR and HDR AVIF store linear light in depths of their own (HdrExportTest).
        if (isLinearFormat(std::string("x.") + f.extension))
            continue;
        for (int bits : f.offeredDepths()) {
            const std::string path =
                dir.path().toStdString() + "/" + std::to_string(bits) + "." + f.extension;
            ASSERT_TRUE(writeImage(path, convertDepth(picture, bits), {}, {}).ok) << path;
            EXPECT_EQ(int(readImage(path).elemSize1()) * 8, bits) << path;
        }
    }
}

TEST(ExportNames, ProposedNamesRecordTheFrameOrTheStackingChoices) {
    const auto tr = [](const std::string& key) {
        return key == "Fast" ? QStringLiteral("Rapide") : QString::fromStdString(key);
    };
    struct Case {
        const char* medium;
        bool sequence, light;
        int index;
        StackingRunNaming run;
        const char* name;
    };
    const Case cases[] = {
        {"/pictures/trip.day1.jpg", false, true, 0, {}, "trip.day1"}, // a photo: its complete base name
        {"/videos/clip.mp4", true, false, 120, {}, "clip (120)"},
        {"/videos/my clip.v2.mov", true, false, 0, {}, "my clip.v2 (0)"},
        // Integer division of the sliders, "a" with automatic estimation, translated quality prefix.
        {"/videos/clip.mp4", true, true, 0, {30, 50, true, 1, 7}, "Hi_clip (A3_M5a_Go7)"},
        {"/videos/clip.mp4", true, true, 0, {9, 29, false, 2, 15}, "Hi_clip (A0_M2_Op15)"},
        {"/videos/holiday.part2.mp4", true, true, 0, {100, 0, false, 0, 3}, "Hi_holiday (A10_M0_Ra3)"},
    };
    for (const Case& c : cases) {
        ExportNameRequest r;
        r.mediumPath = QString::fromLatin1(c.medium);
        r.isSequence = c.sequence;
        r.forLightImage = c.light;
        r.currentIndex = c.index;
        r.run = c.run;
        EXPECT_EQ(defaultExportName(r, tr), QString::fromLatin1(c.name));
    }
}

TEST(ExportNames, UniquePathTakesTheFirstFreeNumberFromOne) {
    QTemporaryDir dir;
    const QString d = dir.path() + QLatin1Char('/');
    EXPECT_EQ(uniqueExportPath(dir.path(), QStringLiteral("shot"), QStringLiteral(".jpg")), d + "shot-1.jpg");
    for (const char* name : {"shot.jpg", "shot-1.jpg", "shot-2.jpg", "shot-4.jpg"})
        ASSERT_TRUE(test::writeFileText((d + name).toStdString(), ""));
    EXPECT_EQ(uniqueExportPath(dir.path(), QStringLiteral("shot"), QStringLiteral(".jpg")), d + "shot-3.jpg");
    EXPECT_EQ(uniqueExportPath(dir.path(), QStringLiteral("shot"), QStringLiteral(".tif")), d + "shot-1.tif");
    const QString awkward = QStringLiteral("-été 100% \"best\" (3)");
    ASSERT_TRUE(test::writeFileText((d + awkward + "-1.psd").toStdString(), ""));
    EXPECT_EQ(uniqueExportPath(dir.path(), awkward, QStringLiteral(".psd")), d + awkward + "-2.psd");
}

} // namespace
