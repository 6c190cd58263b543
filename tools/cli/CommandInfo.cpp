#include "CliCommands.h"

#include "media/MediaProbe.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace lumora::cli {

int runInfo(const QStringList& args) {
    QString path;
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (a == QLatin1String("--help")) {
            std::puts("usage: lumora-cli info MEDIA [--json]\n"
                      "Prints the kind, size, frame count, frame rate and duration of a video or photo.");
            return 0;
        } else if (path.isEmpty() && !a.startsWith(QLatin1String("--")))
            path = a;
        else {
            std::fprintf(stderr, "lumora-cli info: unexpected argument '%s'\n", a.toLocal8Bit().constData());
            return 2;
        }
    }
    if (path.isEmpty()) {
        std::fprintf(stderr, "lumora-cli info: missing MEDIA (see --help)\n");
        return 2;
    }
    const auto info = probeMedia(path.toStdString());
    if (!info) {
        std::fprintf(stderr, "lumora-cli info: cannot open '%s' as a video or photo\n", path.toLocal8Bit().constData());
        return 1;
    }
    if (json) {
        QJsonObject o;
        o[QStringLiteral("path")] = path;
        o[QStringLiteral("kind")] = QString::fromLatin1(kindName(info->kind));
        o[QStringLiteral("width")] = info->width;
        o[QStringLiteral("height")] = info->height;
        o[QStringLiteral("frameCount")] = info->frameCount;
        o[QStringLiteral("fps")] = info->fps;
        o[QStringLiteral("durationSeconds")] = info->durationSeconds;
        std::puts(QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
    } else {
        std::printf("kind: %s\nwidth: %d\nheight: %d\nframes: %d\nfps: %.3f\nduration: %.3f s\n",
                    kindName(info->kind), info->width, info->height, info->frameCount, info->fps,
                    info->durationSeconds);
    }
    return 0;
}

} // namespace lumora::cli
