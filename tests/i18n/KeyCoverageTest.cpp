// Every text key the code looks up must exist in the shipped English file, and every shipped translation
// must cover the same keys; otherwise users see raw keys in the window.

#include "TestEnvironment.h"
#include "i18n/LanguageEngine.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <set>

namespace {

std::set<QString> keysOfFile(const QString& path) {
    std::set<QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith('#'))
            continue;
        const int sep = line.indexOf(":=");
        if (sep > 0)
            keys.insert(QString::fromUtf8(line.left(sep)));
    }
    return keys;
}

// Keys used by the code: literal arguments of the lookup functions, and the key column of text tables.
std::map<QString, QString> keysUsedByCode() {
    std::map<QString, QString> used; // key -> first file using it
    const QRegularExpression call(
        QStringLiteral(R"re(\b(?:translate|translatedText|translatedOr)\(\s*"([^"\\]+)")re"));
    const QRegularExpression tableEntry(
        QStringLiteral(R"re(\{\s*"[A-Za-z_0-9]+"\s*,\s*"([A-Za-z_0-9]+)"\s*\})re"));
    const QString root = QString::fromStdString(lumora::test::sourceDir());
    for (const QString& top : {QStringLiteral("/src"), QStringLiteral("/tools")}) {
        QDirIterator it(root + top, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(f.readAll());
            for (auto m = call.globalMatch(text); m.hasNext();)
                used.emplace(m.next().captured(1), path);
            if (path.endsWith(QLatin1String("Texts.h")))
                for (auto m = tableEntry.globalMatch(text); m.hasNext();)
                    used.emplace(m.next().captured(1), path);
        }
    }
    return used;
}

QString langFile(const char* name) {
    return QString::fromStdString(lumora::test::sourceDir()) + QStringLiteral("/resources/Lang/") +
           QString::fromLatin1(name);
}

TEST(KeyCoverage, EveryKeyTheCodeUsesIsInEnglish) {
    const std::set<QString> english = keysOfFile(langFile("English.txt"));
    ASSERT_GT(english.size(), 100u);
    const auto used = keysUsedByCode();
    ASSERT_GT(used.size(), 20u) << "the scan found almost no lookups: is LUMORA_SOURCE_DIR right?";
    for (const auto& [key, file] : used)
        EXPECT_TRUE(english.count(key)) << "key \"" << key.toStdString() << "\" used in "
                                        << file.toStdString() << " is missing from English.txt";
}

TEST(KeyCoverage, EveryTranslationHasExactlyTheEnglishKeys) {
    const std::set<QString> english = keysOfFile(langFile("English.txt"));
    const std::set<QString> french = keysOfFile(langFile("Francais.txt"));
    for (const QString& k : english)
        EXPECT_TRUE(french.count(k)) << "Francais.txt lacks " << k.toStdString();
    for (const QString& k : french)
        EXPECT_TRUE(english.count(k)) << "Francais.txt has extra key " << k.toStdString();
}

TEST(KeyCoverage, ShippedLanguagesAreFoundAndTheirPlaceholdersMatch) {
    lumora::LanguageEngine en, fr;
    const std::string dir = lumora::test::sourceDir() + "/resources/Lang/";
    for (auto* e : {&en, &fr}) {
        e->setApplicationLanguageDirectory(dir);
        e->setUserLanguageDirectory(dir + "none/");
    }
    EXPECT_EQ(fr.languageNames(), (std::vector<std::string>{"English", "Francais"}));
    ASSERT_TRUE(fr.setLanguage("Francais"));
    EXPECT_NE(fr.translate("File"), en.translate("File"));
    const QRegularExpression placeholder(QStringLiteral(R"(%\d|%d)"));
    for (const QString& key : keysOfFile(langFile("English.txt"))) {
        QStringList a, b;
        for (auto m = placeholder.globalMatch(en.translatedText(key.toStdString())); m.hasNext();)
            a << m.next().captured();
        for (auto m = placeholder.globalMatch(fr.translatedText(key.toStdString())); m.hasNext();)
            b << m.next().captured();
        a.sort();
        b.sort();
        EXPECT_EQ(a, b) << "placeholders differ for " << key.toStdString();
    }
}

} // namespace
