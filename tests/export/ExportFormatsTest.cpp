// The export format table, suffix lookup and the save-dialog filter texts.

#include "export/ExportFormats.h"
#include "TestEnvironment.h"
#include "i18n/LanguageEngine.h"

#include <gtest/gtest.h>

namespace {

using namespace lumora;

// Marks each key, so the filter's structure is checked independently of any language file.
QString bracketed(const std::string& key) {
    return QStringLiteral("<%1>").arg(QString::fromStdString(key));
}

TEST(ExportFormatTable, OffersEachFormatsDepthsWithItsDefaultFirst) {
    const auto& f = exportFormats();
    ASSERT_EQ(f.size(), 5u);
    const std::vector<std::pair<std::string, std::vector<int>>> expected = {
        {"jpg", {8}}, {"hdr", {32}}, {"tif", {16, 8, 32}}, {"psd", {8, 16}}, {"bmp", {8}}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(f[i].extension, expected[i].first);
        EXPECT_EQ(f[i].offeredDepths(), expected[i].second) << f[i].extension;
        EXPECT_EQ(f[i].defaultDepth(), expected[i].second.front()) << f[i].extension;
    }
    EXPECT_EQ(f[2].sortedDepths(), (std::vector<int>{8, 16, 32}));
    EXPECT_EQ(f[3].sortedDepths(), (std::vector<int>{8, 16}));
}

TEST(ExportFormatTable, SuffixLookupIgnoresCaseAndKnowsOnlyTheFive) {
    EXPECT_EQ(exportFormatIndexForSuffix(QStringLiteral("jpg")), 0);
    EXPECT_EQ(exportFormatIndexForSuffix(QStringLiteral("HDR")), 1);
    EXPECT_EQ(exportFormatIndexForSuffix(QStringLiteral("Tif")), 2);
    EXPECT_EQ(exportFormatIndexForSuffix(QStringLiteral("psd")), 3);
    EXPECT_EQ(exportFormatIndexForSuffix(QStringLiteral("BMP")), 4);
    for (const char* other : {"png", "jpeg", "tiff", "", ".jpg", "jpg "})
        EXPECT_EQ(exportFormatIndexForSuffix(QString::fromLatin1(other)), -1) << other;
}

TEST(ExportDialogFilter, ListsEachFormatThenAllImagesThenAllFiles) {
    EXPECT_EQ(
        exportDialogFilter(bracketed),
        QStringLiteral("<JPEGimg> (*.jpg);;<HDRimg> (*.hdr);;<TIFFimg> (*.tif);;<PSDimg> (*.psd);;"
                       "<BMPimg> (*.bmp);;<ImageFiles> (*.jpg *.hdr *.tif *.psd *.bmp);;All Files (*.*)"));
}

TEST(ExportDialogFilter, SingleEntriesAreTheOnesInTheFullFilter) {
    const QStringList parts = exportDialogFilter(bracketed).split(QStringLiteral(";;"));
    for (int i = 0; i < kExportFormatCount; ++i)
        EXPECT_EQ(exportFilterEntry(i, bracketed), parts.at(i))
            << "the save dialog could not preselect " << i;
    EXPECT_TRUE(exportFilterEntry(-1, bracketed).isEmpty());
    EXPECT_TRUE(exportFilterEntry(kExportFormatCount, bracketed).isEmpty());
}

TEST(ExportDialogFilter, LabelsComeFromTheLanguageFiles) {
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

} // namespace
