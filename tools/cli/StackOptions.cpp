#include "StackOptions.h"

#include "export/HdrExport.h"

#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"
#include "stacking/StackingEngine.h"

#include <QFileInfo>
#include <cstdio>

namespace lumora::cli {

OptionParse parseStackOption(const QStringList& args, int& i, StackOptions& o, QString* error) {
    const QString& a = args[i];
    if (a == QLatin1String("--align") || a == QLatin1String("--no-align")) {
        o.align = a == QLatin1String("--align");
        return OptionParse::Taken;
    }
    const bool valued = a == QLatin1String("--before") || a == QLatin1String("--after") ||
                        a == QLatin1String("--quality") || a == QLatin1String("--antighost") ||
                        a == QLatin1String("--motion") || a == QLatin1String("--search");
    if (!valued || i + 1 >= args.size())
        return OptionParse::NotMine;
    const QString v = args[++i];
    bool ok = true;
    if (a == QLatin1String("--before") || a == QLatin1String("--after")) {
        const int count = v.toInt(&ok);
        if (!ok || count < 0) {
            *error = QStringLiteral("%1 takes a count from 0").arg(a);
            return OptionParse::Error;
        }
        (a == QLatin1String("--before") ? o.framesBefore : o.framesAfter) = count;
    } else if (a == QLatin1String("--quality")) {
        o.quality = v == QLatin1String("fast")      ? QualityFast
                    : v == QLatin1String("good")    ? QualityGood
                    : v == QLatin1String("optimal") ? QualityOptimal
                                                    : -1;
        if (o.quality < 0) {
            *error = QStringLiteral("--quality takes fast, good or optimal");
            return OptionParse::Error;
        }
    } else if (a == QLatin1String("--search")) {
        if (v != QLatin1String("fast") && v != QLatin1String("exhaustive")) {
            *error = QStringLiteral("--search takes fast or exhaustive");
            return OptionParse::Error;
        }
        o.search = v == QLatin1String("fast") ? BlockSearch::Fast : BlockSearch::Exhaustive;
    } else if (a == QLatin1String("--antighost")) {
        // The window's slider and its three named positions.
        const int position = v == QLatin1String("off")      ? kLongExposurePosition
                             : v == QLatin1String("medium") ? kMediumAntighostingPosition
                             : v == QLatin1String("high")   ? kHighAntighostingPosition
                                                            : v.toInt(&ok);
        if (!ok || position < 0 || position > kAntighostingMaximum) {
            *error = QStringLiteral("--antighost takes off, medium, high or 0..100");
            return OptionParse::Error;
        }
        o.antighostingPosition = position;
    } else {
        const int position = v == QLatin1String("auto") ? -1 : v.toInt(&ok);
        if (!ok || position < -1 || position > 100) {
            *error = QStringLiteral("--motion takes auto or 0..100");
            return OptionParse::Error;
        }
        o.automaticMovement = position < 0;
        if (position >= 0)
            o.movementPosition = position;
    }
    return OptionParse::Taken;
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
