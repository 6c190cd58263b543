#include "StackOptions.h"

#include "export/HdrExport.h"

#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"
#include "stacking/StackingEngine.h"

#include <QFileInfo>
#include <climits>
#include <cstdio>

namespace lumora::cli {

void addStackOptions(CommandLine& line) {
    line.addFlags({QStringLiteral("align"), QStringLiteral("no-align")});
    line.addValued({QStringLiteral("before"), QStringLiteral("after"), QStringLiteral("quality"),
                    QStringLiteral("antighost"), QStringLiteral("motion"), QStringLiteral("search")});
}

bool readStackOptions(CommandLine& line, StackOptions& o) {
    const QStringList given = line.optionNames();
    const int align = given.lastIndexOf(QStringLiteral("align")),
              noAlign = given.lastIndexOf(QStringLiteral("no-align"));
    if (align >= 0 || noAlign >= 0)
        o.align = align > noAlign;
    for (const char* name : {"before", "after"}) {
        const std::optional<int> count =
            line.number(QLatin1String(name), name[0] == 'b' ? o.framesBefore : o.framesAfter, 0, INT_MAX,
                        QStringLiteral("--%1 takes a count from 0").arg(QLatin1String(name)));
        if (!count)
            return false;
        (name[0] == 'b' ? o.framesBefore : o.framesAfter) = *count;
    }
    if (line.isSet(QStringLiteral("quality"))) {
        const QString v = line.value(QStringLiteral("quality"));
        o.quality = v == QLatin1String("fast")      ? QualityFast
                    : v == QLatin1String("good")    ? QualityGood
                    : v == QLatin1String("optimal") ? QualityOptimal
                                                    : -1;
        if (o.quality < 0) {
            line.usageError(QStringLiteral("--quality takes fast, good or optimal"));
            return false;
        }
    }
    if (line.isSet(QStringLiteral("search"))) {
        const QString v = line.value(QStringLiteral("search"));
        if (v != QLatin1String("fast") && v != QLatin1String("exhaustive")) {
            line.usageError(QStringLiteral("--search takes fast or exhaustive"));
            return false;
        }
        o.search = v == QLatin1String("fast") ? BlockSearch::Fast : BlockSearch::Exhaustive;
    }
    if (line.isSet(QStringLiteral("antighost"))) {
        // The window's slider and its three named positions.
        const QString v = line.value(QStringLiteral("antighost"));
        bool ok = true;
        const int position = v == QLatin1String("off")      ? kLongExposurePosition
                             : v == QLatin1String("medium") ? kMediumAntighostingPosition
                             : v == QLatin1String("high")   ? kHighAntighostingPosition
                                                            : v.toInt(&ok);
        if (!ok || position < 0 || position > kAntighostingMaximum) {
            line.usageError(QStringLiteral("--antighost takes off, medium, high or 0..100"));
            return false;
        }
        o.antighostingPosition = position;
    }
    if (line.isSet(QStringLiteral("motion"))) {
        const QString v = line.value(QStringLiteral("motion"));
        bool ok = true;
        const int position = v == QLatin1String("auto") ? -1 : v.toInt(&ok);
        if (!ok || position < -1 || position > 100) {
            line.usageError(QStringLiteral("--motion takes auto or 0..100"));
            return false;
        }
        o.automaticMovement = position < 0;
        if (position >= 0)
            o.movementPosition = position;
    }
    return true;
}

std::unique_ptr<ImagesSequence> openSequence(const std::vector<std::string>& media, std::string* problem) {
    std::vector<std::string> burst = media.size() > 1 ? media : std::vector<std::string>();
    if (media.size() == 1 && QFileInfo(QString::fromStdString(media.front())).isDir()) {
        burst = burstFilesInFolder(media.front());
        if (burst.empty()) {
            *problem = "no photos in the folder " + media.front();
            return nullptr;
        }
    }
    std::unique_ptr<ImagesSequence> sequence;
    if (!burst.empty())
        sequence = std::make_unique<ImagesSequence>(burst);
    else if (hasVideoExtension(media.front()))
        sequence = std::make_unique<ImagesSequence>(media.front());
    else {
        *problem = "MEDIA must be a video, a folder of photos or several photos";
        return nullptr;
    }
    if (!sequence->ready()) {
        *problem = "cannot open " + media.front();
        return nullptr;
    }
    return sequence;
}

std::unique_ptr<ImagesSequence> openSequenceAt(const char* command, const std::vector<std::string>& media,
                                               int index) {
    std::string problem;
    std::unique_ptr<ImagesSequence> sequence = openSequence(media, &problem);
    if (!sequence) {
        std::fprintf(stderr, "lumora-cli %s: %s\n", command, problem.c_str());
        return nullptr;
    }
    if (index >= sequence->frameCount()) {
        std::fprintf(stderr, "lumora-cli %s: the medium has %d frames\n", command, sequence->frameCount());
        return nullptr;
    }
    return sequence;
}

StackingParams stackingParams(const StackOptions& o, ImagesSequence& sequence, int index) {
    return stackingParamsFor(o, &sequence, index, sequence.frameCount());
}

cv::Mat stackLightImage(StackingParams& params, std::string* why, double* whiteLight) {
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(params);
    if (light.empty())
        *why = engine.errorMessage();
    if (whiteLight)
        *whiteLight =
            diffuseWhiteLight(engine.lightOneMeans(), engine.lightTransfer() == VideoColour::Transfer::HLG);
    return light;
}

} // namespace lumora::cli
