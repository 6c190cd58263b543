// The language engine's file rules: header lines, key/text split, version choice between the two
// directories, fallbacks.

#include "i18n/LanguageEngine.h"

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using lumora::LanguageEngine;

class LanguageEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        QDir(root_.path()).mkpath(QStringLiteral("app/Lang"));
        QDir(root_.path()).mkpath(QStringLiteral("user/Lang"));
        engine_.setApplicationLanguageDirectory(appDir());
        engine_.setUserLanguageDirectory(userDir());
    }
    std::string appDir() const { return root_.path().toStdString() + "/app/Lang/"; }
    std::string userDir() const { return root_.path().toStdString() + "/user/Lang/"; }
    static void write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }

    QTemporaryDir root_;
    LanguageEngine engine_;
};

TEST_F(LanguageEngineTest, TextIsEverythingAfterTheFirstSeparatorUntrimmed) {
    write(appDir() + "fr.txt", "#lang:Francais\n#V:2.0.3\nHello:=Bonjour:=Salut\nSpaced:=  a b  \n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    EXPECT_EQ(engine_.translate("Hello"), "Bonjour:=Salut");
    EXPECT_EQ(engine_.translate("Spaced"), "  a b  ");
}

TEST_F(LanguageEngineTest, CommentsBlankAndSeparatorlessLinesAreIgnoredAndCrLfIsStripped) {
    write(appDir() + "en.txt", "#lang:English\r\n#V:1\r\n# Key:=not a text\r\n\r\nno separator here\r\nKey:=Text\r\n"
                               "Empty:=\r\n");
    ASSERT_TRUE(engine_.setLanguage("English"));
    EXPECT_EQ(engine_.translate("Key"), "Text");
    EXPECT_EQ(engine_.translate("Empty"), "");
    EXPECT_EQ(engine_.translate("# Key"), "# Key");
    EXPECT_EQ(engine_.translate("no separator here"), "no separator here");
}

TEST_F(LanguageEngineTest, NewerVersionWinsNumericallyWhicheverDirectoryHoldsIt) {
    write(appDir() + "fr.txt", "#lang:Francais\n#V:2.0.10\nWhich:=application\n");
    write(userDir() + "fr.txt", "#lang:Francais\n#V:2.0.3\nWhich:=user\n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    EXPECT_EQ(engine_.translate("Which"), "application");

    LanguageEngine other;
    other.setApplicationLanguageDirectory(userDir()); // swap: the 2.0.10 file is now the user's
    other.setUserLanguageDirectory(appDir());
    ASSERT_TRUE(other.setLanguage("Francais"));
    EXPECT_EQ(other.translate("Which"), "application");
}

TEST_F(LanguageEngineTest, EqualVersionsKeepTheApplicationDirectorysFile) {
    write(appDir() + "fr.txt", "#lang:Francais\n#V:2.0.3\nWhich:=application\n");
    write(userDir() + "fr.txt", "#lang:Francais\n#V:2.0.3.0\nWhich:=user\n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    EXPECT_EQ(engine_.translate("Which"), "application");
}

TEST(LanguageVersions, ComparedAsPaddedNumbers) {
    EXPECT_LT(LanguageEngine::compareVersions("2.0.3", "2.0.10"), 0);
    EXPECT_GT(LanguageEngine::compareVersions("10", "9.9.9.9"), 0);
    EXPECT_EQ(LanguageEngine::compareVersions("2", "2.0.0.0"), 0);
    EXPECT_EQ(LanguageEngine::compareVersions("", "0"), 0);
    EXPECT_LT(LanguageEngine::compareVersions("", "0.0.0.1"), 0);
    EXPECT_GT(LanguageEngine::compareVersions("1.0.0.0.1", "1"), 0);
}

TEST_F(LanguageEngineTest, MissingKeysFallBackToEnglishThenToTheKey) {
    write(appDir() + "en.txt", "#lang:English\n#V:1\nOnlyEnglish:=Only in English\nBoth:=Both\n");
    write(appDir() + "fr.txt", "#lang:Francais\n#V:1\nBoth:=Les deux\n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    EXPECT_EQ(engine_.translate("Both"), "Les deux");
    EXPECT_EQ(engine_.translate("OnlyEnglish"), "Only in English");
    EXPECT_EQ(engine_.translate("Nowhere"), "Nowhere");
    EXPECT_EQ(engine_.currentLanguage(), "Francais");
}

TEST_F(LanguageEngineTest, WithoutEnglishTheFirstLanguageByNameIsTheFallback) {
    write(appDir() + "z.txt", "#lang:Zulu\n#V:1\nK:=zulu\n");
    write(appDir() + "d.txt", "#lang:Deutsch\n#V:1\nK:=deutsch\n");
    EXPECT_EQ(engine_.translate("K"), "deutsch");
    EXPECT_EQ(engine_.languageNames(), (std::vector<std::string>{"Deutsch", "Zulu"}));
}

TEST_F(LanguageEngineTest, UnknownLanguageLeavesTheCurrentOneInPlace) {
    write(appDir() + "en.txt", "#lang:English\n#V:1\nK:=english\n");
    write(appDir() + "fr.txt", "#lang:Francais\n#V:1\nK:=francais\n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    EXPECT_FALSE(engine_.setLanguage("Klingon"));
    EXPECT_EQ(engine_.currentLanguage(), "Francais");
    EXPECT_EQ(engine_.translate("K"), "francais");
}

TEST_F(LanguageEngineTest, FilesWithoutALanguageHeaderOrSuffixAreNotLanguages) {
    write(appDir() + "notes.txt", "just some notes\nK:=notes\n");
    write(appDir() + "short.txt", "#lang:\nK:=short\n");
    write(appDir() + "en.lang", "#lang:English\n#V:1\nK:=wrong suffix\n");
    write(appDir() + "ok.txt", "#lang:Italiano\n");
    EXPECT_EQ(engine_.languageNames(), std::vector<std::string>{"Italiano"});
    EXPECT_EQ(engine_.translate("K"), "K");
}

TEST_F(LanguageEngineTest, NoLanguageFilesAtAllReturnsKeys) {
    LanguageEngine empty;
    empty.setApplicationLanguageDirectory(root_.path().toStdString() + "/missing/");
    empty.setUserLanguageDirectory(root_.path().toStdString() + "/missing-too/");
    EXPECT_TRUE(empty.languageNames().empty());
    EXPECT_FALSE(empty.setLanguage("English"));
    EXPECT_EQ(empty.translate("ErrorFile"), "ErrorFile");
}

TEST_F(LanguageEngineTest, EscapedLineBreaksBecomeNewlines) {
    write(appDir() + "en.txt", "#lang:English\n#V:1\nTwoLines:=first\\nsecond\n");
    EXPECT_EQ(engine_.translate("TwoLines"), "first\nsecond");
}

TEST_F(LanguageEngineTest, Utf8TextsConvertToToolkitStrings) {
    write(appDir() + "fr.txt", "#lang:Francais\n#V:1\nOpen:=Ouvrir une vid\xC3\xA9o\n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    EXPECT_EQ(engine_.translatedText("Open"), QStringLiteral("Ouvrir une vid\u00e9o"));
}

} // namespace
