#include "CliCommands.h"
#include "CommandLine.h"
#include "StackOptions.h"

#include "media/ImagesSequence.h"
#include "sharpness/Sharpness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <climits>
#include <cstdio>
#include <memory>

namespace lumora::cli {

namespace {

const char* const kUsage =
    "usage: lumora-cli sharpest MEDIA... --index N [--radius R] [--json]\n"
    "Lists frame N and the frames within R of it (3) that are sharper, sharpest first.";

} // namespace

int runSharpest(const QStringList& args) {
    CommandLine line("sharpest");
    line.addValued({QStringLiteral("index"), QStringLiteral("radius")});
    line.addFlags({QStringLiteral("json")});
    if (const std::optional<int> status = line.parse(args, kUsage))
        return *status;
    const std::optional<int> givenIndex =
        line.number(QStringLiteral("index"), -1, 0, INT_MAX, QStringLiteral("--index takes a number from 0"));
    const std::optional<int> givenRadius = line.number(QStringLiteral("radius"), 3, 0, INT_MAX,
                                                       QStringLiteral("--radius takes a number from 0"));
    if (!givenIndex || !givenRadius)
        return 2;
    const int index = *givenIndex, radius = *givenRadius;
    const bool json = line.isSet(QStringLiteral("json"));
    const std::vector<std::string> media = line.media();
    if (media.empty())
        return line.usageError(QStringLiteral("missing MEDIA"));
    if (index < 0)
        return line.usageError(QStringLiteral("missing --index"));
    const std::unique_ptr<ImagesSequence> sequence = openSequenceAt("sharpest", media, index);
    if (!sequence)
        return 1;
    const cv::Mat centre = sequence->getCvImageAt(index, false);
    if (centre.empty()) {
        std::fprintf(stderr, "lumora-cli sharpest: frame %d cannot be read\n", index);
        return 1;
    }
    RunControl run;
    const SharpestSearchResult result = findSharpest(
        {centre, index, sequence->frameCount(), radius},
        [&sequence](int i) { return sequence->getCvImageAt(i, false); }, run);
    if (result.outcome != RunOutcome::Finished) {
        std::fprintf(stderr, "lumora-cli sharpest: %s\n", result.reason.c_str());
        return 1;
    }
    const SharpestCandidates& found = result.candidates;
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
