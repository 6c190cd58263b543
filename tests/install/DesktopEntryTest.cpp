// Which files the desktop entry offers Lumora for, judged by the system's own MIME database.

#include "TestEnvironment.h"
#include "media/MediaFiles.h"

#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <gtest/gtest.h>

namespace {

QStringList declaredMimeTypes() {
    QFile entry(QString::fromStdString(lumora::test::sourceDir()) +
                QStringLiteral("/resources/desktop/net.tavrel.lumora.desktop"));
    EXPECT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    for (const QString& line : QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("MimeType=")))
            return line.mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return {};
}

// Every image or video type the system gives an extension Lumora opens is offered, and nothing else:
// extensions the system does not know, or knows as another kind of file (.cap is also a network capture),
// stay out.
TEST(DesktopEntry, OffersTheSystemsTypesOfEveryExtensionLumoraOpensAndNoOther) {
    const QStringList declared = declaredMimeTypes();
    ASSERT_FALSE(declared.isEmpty());
    const QMimeDatabase db;
    QSet<QString> typesOfOurExtensions;
    for (const auto* list : {&lumora::stillImageExtensions(), &lumora::videoExtensions()}) {
        for (const std::string& ext : *list) {
            bool media = false, offered = false;
            for (const QMimeType& t :
                 db.mimeTypesForFileName(QStringLiteral("x.") + QString::fromStdString(ext))) {
                media |= t.name().startsWith(QLatin1String("image/")) ||
                         t.name().startsWith(QLatin1String("video/"));
                offered |= declared.contains(t.name());
                typesOfOurExtensions.insert(t.name());
            }
            EXPECT_TRUE(offered || !media) << ext;
        }
    }
    for (const QString& type : declared)
        EXPECT_TRUE(typesOfOurExtensions.contains(type))
            << type.toStdString() << " opens no file Lumora reads";
}

} // namespace
