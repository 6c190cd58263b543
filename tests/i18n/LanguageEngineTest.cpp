// The language engine's file rules: header lines, key/text split, version choice between the two
// directories, fallbacks.

#include "i18n/LanguageEngine.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using lumora::LanguageEngine;
using lumora::test::writeFileText;

class LanguageEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(root_.path()).mkpath(QStringLiteral("app/Lang"));
        QDir(root_.path()).mkpath(QStringLiteral("user/Lang"));
        engine_.setApplicationLanguageDirectory(appDir());
        engine_.setUserLanguageDirectory(userDir());
    }
    std::string appDir() const { return root_.path().toStdString() + "/app/Lang/"; }
    std::string userDir() const { return root_.path().toStdString() + "/user/Lang/"; }

    QTemporaryDir root_;
    LanguageEngine engine_;
};

TEST_F(LanguageEngineTest, TextIsEverythingAfterTheFirstSeparatorAndOtherLinesAreIgnored) {
    writeFileText(appDir() + "fr.txt",
                  "#lang:Francais\r\n#V:2.0.3\r\n# Key:=not a text\r\n\r\nno separator here\r\n"
                  "Hello:=Bonjour:=Salut\r\nSpaced:=  a b  \r\nEmpty:=\r\nTwoLines:=first\\nsecond\r\n"
                  "Open:=Ouvrir une vid\xC3\xA9o\r\n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    const std::pair<const char*, const char*> cases[] = {
        {"Hello", "Bonjour:=Salut"},   {"Spaced", "  a b  "}, {"Empty", ""},
        {"TwoLines", "first\nsecond"}, {"# Key", "# Key"},    {"no separator here", "no separator here"},
    };
    for (const auto& [key, text] : cases)
        EXPECT_EQ(engine_.translate(key), text) << key;
    EXPECT_EQ(engine_.translatedText("Open"), QStringLiteral("Ouvrir une vid\u00e9o"));
}

TEST_F(LanguageEngineTest, TheNewerVersionWinsNumericallyAndTheApplicationsFileOnATie) {
    struct Case {
        const char *application, *user, *wins;
    };
    for (const Case& c : {Case{"2.0.10", "2.0.3", "application"}, Case{"2.0.3", "2.0.10", "user"},
                          Case{"2.0.3", "2.0.3.0", "application"}}) {
        writeFileText(appDir() + "fr.txt",
                      "#lang:Francais\n#V:" + std::string(c.application) + "\nWhich:=application\n");
        writeFileText(userDir() + "fr.txt", "#lang:Francais\n#V:" + std::string(c.user) + "\nWhich:=user\n");
        LanguageEngine engine;
        engine.setApplicationLanguageDirectory(appDir());
        engine.setUserLanguageDirectory(userDir());
        ASSERT_TRUE(engine.setLanguage("Francais"));
        EXPECT_EQ(engine.translate("Which"), c.wins) << c.application << " against " << c.user;
    }
}

TEST_F(LanguageEngineTest, MissingKeysFallBackToEnglishThenToTheKeyAndUnknownLanguagesChangeNothing) {
    writeFileText(appDir() + "en.txt", "#lang:English\n#V:1\nOnlyEnglish:=Only in English\nBoth:=Both\n");
    writeFileText(appDir() + "fr.txt", "#lang:Francais\n#V:1\nBoth:=Les deux\n");
    ASSERT_TRUE(engine_.setLanguage("Francais"));
    EXPECT_EQ(engine_.translate("Both"), "Les deux");
    EXPECT_EQ(engine_.translate("OnlyEnglish"), "Only in English");
    EXPECT_EQ(engine_.translate("Nowhere"), "Nowhere");
    EXPECT_FALSE(engine_.setLanguage("Klingon"));
    EXPECT_EQ(engine_.currentLanguage(), "Francais");
    EXPECT_EQ(engine_.translate("Both"), "Les deux");
}

TEST_F(LanguageEngineTest, WhatIsALanguageAndWhatFallsBackWithoutEnglish) {
    writeFileText(appDir() + "notes.txt", "just some notes\nK:=notes\n");
    writeFileText(appDir() + "short.txt", "#lang:\nK:=short\n");
    writeFileText(appDir() + "en.lang", "#lang:English\n#V:1\nK:=wrong suffix\n");
    writeFileText(appDir() + "z.txt", "#lang:Zulu\n#V:1\nK:=zulu\n");
    writeFileText(appDir() + "d.txt", "#lang:Deutsch\n#V:1\nK:=deutsch\n");
    EXPECT_EQ(engine_.languageNames(), (std::vector<std::string>{"Deutsch", "Zulu"}));
    EXPECT_EQ(engine_.translate("K"), "deutsch") << "without English the first language by name";

    LanguageEngine empty;
    empty.setApplicationLanguageDirectory(root_.path().toStdString() + "/missing/");
    empty.setUserLanguageDirectory(root_.path().toStdString() + "/missing-too/");
    EXPECT_TRUE(empty.languageNames().empty());
    EXPECT_FALSE(empty.setLanguage("English"));
    EXPECT_EQ(empty.translate("ErrorFile"), "ErrorFile");
}

} // namespace
