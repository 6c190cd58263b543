#pragma once
// exiftool as the tests use it: tags read back with numeric values, and tags written into a file.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <string>

namespace lumora::test {

// Tags of `file` as exiftool reports them with numeric values (-n): signed coordinates, numeric orientation.
inline QJsonObject exifTags(const std::string& file, const QStringList& tags) {
    QStringList args{QStringLiteral("-j"), QStringLiteral("-n")};
    for (const QString& t : tags)
        args << QLatin1Char('-') + t;
    args << QStringLiteral("--") << QString::fromStdString(file);
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), args);
    if (!tool.waitForFinished(60000))
        return {};
    const QJsonArray all = QJsonDocument::fromJson(tool.readAllStandardOutput()).array();
    return all.isEmpty() ? QJsonObject() : all.first().toObject();
}

// exiftool run quietly with `args`, rewriting files in place; whether it succeeded.
inline bool runExiftool(QStringList args) {
    QProcess tool;
    args.prepend(QStringLiteral("-overwrite_original"));
    args.prepend(QStringLiteral("-q"));
    tool.start(QStringLiteral("exiftool"), args);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

} // namespace lumora::test
