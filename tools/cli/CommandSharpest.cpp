#include "CliCommands.h"
#include "StackOptions.h"

#include "media/ImagesSequence.h"
#include "sharpness/SharpestImageSearcherWorkerThread.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <memory>

namespace lumora::cli {

namespace {

const char* const kUsage =
    "usage: lumora-cli sharpest MEDIA... --index N [--radius R] [--json]\n"
    "Lists frame N and the frames within R of it (3) that are sharper, sharpest first.";

int usageError(const QString& message) {
    std::fprintf(stderr, "lumora-cli sharpest: %s (see --help)\n", message.toLocal8Bit().constData());
    return 2;
}

} // namespace

int runSharpest(const QStringList& args) {
    std::vector<std::string> media;
    int index = -1, radius = 3;
    bool json = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("--help")) {
            std::puts(kUsage);
            return 0;
        } else if ((a == QLatin1String("--index") || a == QLatin1String("--radius")) && hasValue) {
            const int v = args[++i].toInt(&ok);
            if (!ok || v < 0)
                return usageError(QStringLiteral("%1 takes a number from 0").arg(a));
            (a == QLatin1String("--index") ? index : radius) = v;
        } else if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--")) {
            for (++i; i < args.size(); ++i)
                media.push_back(args[i].toStdString());
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return usageError(QStringLiteral("unexpected argument '%1'").arg(a));
        } else {
            media.push_back(a.toStdString());
        }
    }
    if (media.empty())
        return usageError(QStringLiteral("missing MEDIA"));
    if (index < 0)
        return usageError(QStringLiteral("missing --index"));
    const std::unique_ptr<ImagesSequence> sequence = openSequenceAt("sharpest", media, index);
    if (!sequence)
        return 1;
    const cv::Mat centre = sequence->getCvImageAt(index, false);
    if (centre.empty()) {
        std::fprintf(stderr, "lumora-cli sharpest: frame %d cannot be read\n", index);
        return 1;
    }
    SharpestImageSearcherWorkerThread worker(&centre, index, sequence.get(), radius);
    worker.start();
    worker.wait();
    const SharpestCandidates& found = worker.candidates();
    if (json) {
        QJsonArray list;
        for (const auto& c : found)
            list.append(QJsonObject{{"index", c.second}, {"sharpness", static_cast<double>(c.first)}});
        std::puts(QJsonDocument(QJsonObject{{"index", index}, {"radius", radius}, {"candidates", list}})
                      .toJson(QJsonDocument::Indented)
                      .constData());
    } else {
        for (const auto& c : found)
            std::printf("%d\t%.3f%s\n", c.second, static_cast<double>(c.first),
                        c.second == index ? "\t(centre)" : "");
    }
    return 0;
}

} // namespace lumora::cli
