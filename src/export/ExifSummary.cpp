#include "export/ExifSummary.h"

#include "app/ProcessRunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <initializer_list>

namespace lumora {
namespace {

constexpr int kTimeoutMs = 15000;

// The tool prints numbers as numbers and the rest as strings; both read as text here.
QString text(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 6);
    return v.toString().trimmed();
}

QString firstOf(const QJsonObject& o, std::initializer_list<const char*> keys) {
    for (const char* k : keys) {
        const QString t = text(o, k);
        if (!t.isEmpty())
            return t;
    }
    return {};
}

} // namespace

ExifSummary parseExifSummary(const std::string& json) {
    ExifSummary s;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    if (!doc.isArray() || doc.array().isEmpty() || !doc.array().first().isObject())
        return s;
    const QJsonObject o = doc.array().first().toObject();
    const QString make = text(o, "Make");
    QString model = text(o, "Model");
    // Many makers repeat their name in the model ("Canon" / "Canon EOS R5").
    if (!make.isEmpty() && !model.startsWith(make, Qt::CaseInsensitive))
        model = model.isEmpty() ? make : make + QLatin1Char(' ') + model;
    s.camera = model.toStdString();
    s.lens = firstOf(o, {"LensModel", "LensID", "Lens"}).toStdString();
    const QString exposure = text(o, "ExposureTime");
    if (!exposure.isEmpty())
        s.exposure = (exposure + QStringLiteral(" s")).toStdString();
    const QString aperture = text(o, "FNumber");
    if (!aperture.isEmpty())
        s.aperture = (QStringLiteral("f/") + aperture).toStdString();
    s.iso = text(o, "ISO").toStdString();
    s.date = firstOf(o, {"DateTimeOriginal", "CreateDate"}).toStdString();
    // Clips often carry a zero creation date rather than none.
    if (s.date.rfind("0000:00:00", 0) == 0)
        s.date.clear();
    s.position = text(o, "GPSPosition").toStdString();
    return s;
}

ExifSummary readExifSummary(const std::string& path) {
    const QString tool = findHelperProgram(QStringLiteral("exiftool"));
    if (tool.isEmpty()) {
        ExifSummary s;
        s.error = "exiftool is not installed";
        return s;
    }
    const ProcessOutcome run =
        runProcess(tool,
                   {QStringLiteral("-j"), QStringLiteral("-Make"), QStringLiteral("-Model"),
                    QStringLiteral("-LensModel"), QStringLiteral("-LensID"), QStringLiteral("-Lens"),
                    QStringLiteral("-ExposureTime"), QStringLiteral("-FNumber"), QStringLiteral("-ISO"),
                    QStringLiteral("-DateTimeOriginal"), QStringLiteral("-CreateDate"),
                    QStringLiteral("-GPSPosition"), QStringLiteral("--"), QString::fromStdString(path)},
                   kTimeoutMs);
    // The tool answers with status 1 and an empty list for a file it cannot read; a list is still parsed.
    ExifSummary s = parseExifSummary(run.standardOutput.toStdString());
    if (!run.succeeded() && s.empty())
        s.error = run.error.empty() ? "exiftool could not read the file" : run.error;
    return s;
}

} // namespace lumora
