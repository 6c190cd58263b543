#include "CliCommands.h"

#include "media/MediaProbe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <string>
#include <vector>

namespace lumora::cli {

int runInfo(const QStringList& args) {
    QStringList paths;
    bool json = false;
    bool optionsEnded = false;
    for (const QString& a : args) {
        if (!optionsEnded && a == QLatin1String("--json")) {
            json = true;
        } else if (!optionsEnded && a == QLatin1String("--help")) {
            std::puts("usage: lumora-cli info [--json] [--] MEDIA...\n"
                      "Prints the kind, size, frame count, frame rate, duration, bit depth, transfer (SDR, "
                      "HLG, PQ)\n"
                      "and primaries of a medium: a video, a photo,\n"
                      "a folder of photos taken as a burst, or several photo files taken as a burst.");
            return 0;
        } else if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && a.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "lumora-cli info: unexpected argument '%s'\n", a.toLocal8Bit().constData());
            return 2;
        } else {
            paths << a;
        }
    }
    if (paths.isEmpty()) {
        std::fprintf(stderr, "lumora-cli info: missing MEDIA (see --help)\n");
        return 2;
    }
    std::vector<std::string> files;
    for (const QString& p : paths)
        files.push_back(p.toStdString());
    const auto info = probeMedia(files);
    if (!info) {
        std::fprintf(stderr, "lumora-cli info: cannot open '%s' as a video, photo or burst\n",
                     paths.join(QStringLiteral("', '")).toLocal8Bit().constData());
        return 1;
    }
    if (json) {
        QJsonObject o;
        if (paths.size() == 1)
            o[QStringLiteral("path")] = paths.front();
        else
            o[QStringLiteral("paths")] = QJsonArray::fromStringList(paths);
        o[QStringLiteral("kind")] = QString::fromLatin1(kindName(info->kind));
        o[QStringLiteral("width")] = info->width;
        o[QStringLiteral("height")] = info->height;
        o[QStringLiteral("frameCount")] = info->frameCount;
        o[QStringLiteral("fps")] = info->fps;
        o[QStringLiteral("durationSeconds")] = info->durationSeconds;
        o[QStringLiteral("bitDepth")] = info->colour.bitDepth;
        o[QStringLiteral("transfer")] = QString::fromLatin1(transferName(info->colour.transfer));
        o[QStringLiteral("primaries")] = QString::fromLatin1(primariesName(info->colour.primaries));
        std::puts(QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
    } else {
        std::printf("kind: %s\nwidth: %d\nheight: %d\nframes: %d\nfps: %.3f\nduration: %.3f s\n"
                    "bit depth: %d\ntransfer: %s\nprimaries: %s\n",
                    kindName(info->kind), info->width, info->height, info->frameCount, info->fps,
                    info->durationSeconds, info->colour.bitDepth, transferName(info->colour.transfer),
                    primariesName(info->colour.primaries));
    }
    return 0;
}

} // namespace lumora::cli
