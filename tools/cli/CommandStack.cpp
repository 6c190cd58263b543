#include "CliCommands.h"
#include "HdrOptions.h"
#include "RecipeOptions.h"
#include "StackOptions.h"

#include "export/ExportFormats.h"
#include "imageio/ImageFile.h"
#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"
#include "stacking/StackingEngine.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

namespace lumora::cli {
namespace {

const char* const kUsage =
    "usage: lumora-cli stack MEDIA... --index N [--before B] [--after A] [--quality fast|good|optimal]\n"
    "                        [--antighost off|medium|high|0..100] [--motion auto|0..100] "
    "[--align|--no-align]\n"
    "                        [--search fast|exhaustive] -o OUT.hdr|tif|psd [--bits 16|32]\n"
    "                        [--ghost-map MAP.png] [--json]\n"
    "Stacks frame N of a video or burst with B frames before and A after (8 and 8) into a light image and\n"
    "writes it to OUT. --quality sets the anti-ghosting block size (good), --antighost its strength (high;\n"
    "a number is the window's slider, 0 = long exposure), --motion the block-matching reach (auto; a number\n"
    "is the window's slider, tenths of a percent of the larger side). Frames are aligned unless --no-align.\n"
    "--search chooses how moved blocks are looked for: fast (what the window does) leaves blocks that "
    "differ\n"
    "only by noise in place and searches the others coarse to fine; exhaustive tries every position within\n"
    "reach (much slower). --ghost-map writes an 8-bit grey picture (png, tif or bmp) of where motion was\n"
    "found: each pixel's share of the merged frames that took it from elsewhere, black for none, white for\n"
    "all.\n"
    "OUT.exr holds the linear light (half or float by --bits), 1.0 being diffuse white; OUT.avif the light "
    "as\n"
    "an HDR picture. HDR clips place diffuse white where the clip did, other sources at the light's top.\n"
    "--no-recipe: do not write the recipe OUT-NAME.lumora.json beside OUT (for 'lumora-cli render "
    "--recipe').";

const char* stateName(StackingEngine::FrameReport::State s) {
    switch (s) {
    case StackingEngine::FrameReport::State::Merged:
        return "merged";
    case StackingEngine::FrameReport::State::Unreadable:
        return "unreadable";
    case StackingEngine::FrameReport::State::WrongSize:
        return "wrong size";
    case StackingEngine::FrameReport::State::WrongType:
        return "wrong type";
    default:
        return "not merged";
    }
}

// A progress bar on stderr, redrawn in place; only when stderr is a terminal.
void drawProgress(int frame, int count, float percent) {
    const int width = 30;
    const int filled = static_cast<int>(width * std::min(100.f, percent) / 100.f);
    std::fprintf(stderr, "\rframe %d/%d [%.*s%*s] %3d%%", frame, count, filled,
                 "##############################", width - filled, "", static_cast<int>(percent));
    std::fflush(stderr);
}

} // namespace

int runStack(const QStringList& args) {
    CommandLine line("stack");
    addStackOptions(line);
    line.addValued(
        {QStringLiteral("index"), QStringLiteral("o"), QStringLiteral("ghost-map"), QStringLiteral("bits")});
    line.addFlags({QStringLiteral("json")});
    addHdrOptions(line);
    addRecipeOption(line);
    const QByteArray help = QByteArray(kUsage) + '\n' + kHdrOptionsHelp;
    if (const std::optional<int> status = line.parse(args, help.constData()))
        return *status;
    StackOptions stack;
    HdrChoices hdr;
    if (!readStackOptions(line, stack) || !readHdrOptions(line, hdr))
        return 2;
    const std::optional<int> givenIndex = line.frameIndex();
    if (!givenIndex)
        return 2;
    const int index = *givenIndex;
    const QString out = line.value(QStringLiteral("o")), ghostMap = line.value(QStringLiteral("ghost-map"));
    // Any number: the format says below which depths it offers.
    int bits = line.value(QStringLiteral("bits")).toInt();
    const bool json = line.isSet(QStringLiteral("json"));
    const std::vector<std::string> media = line.media();
    if (media.empty())
        return line.usageError(QStringLiteral("missing MEDIA"));
    if (index < 0)
        return line.usageError(QStringLiteral("missing --index"));
    if (out.isEmpty())
        return line.usageError(QStringLiteral("missing -o OUT"));
    const QString mapSuffix = QFileInfo(ghostMap).suffix().toLower();
    if (!ghostMap.isEmpty() && mapSuffix != QLatin1String("png") && mapSuffix != QLatin1String("tif") &&
        mapSuffix != QLatin1String("bmp"))
        return line.usageError(QStringLiteral("the ghost map must end in .png, .tif or .bmp"));
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("hdr") && suffix != QLatin1String("tif") && suffix != QLatin1String("psd") &&
        suffix != QLatin1String("exr") && suffix != QLatin1String("avif"))
        return line.usageError(QStringLiteral("OUT must end in .hdr, .tif, .psd, .exr or .avif"));
    const int formatIndex = exportFormatIndexForSuffix(suffix);
    const ExportFormat& format = exportFormats()[static_cast<std::size_t>(formatIndex)];
    if (bits == 0) // the light image is floating point: keep it so where the format can
        bits = format.offersDepth(32) ? 32 : format.defaultDepth();
    if (!format.offersDepth(bits))
        return line.usageError(QStringLiteral("%1 files cannot be written at %2 bits").arg(suffix).arg(bits));

    const std::unique_ptr<ImagesSequence> sequence = openSequenceAt("stack", media, index);
    if (!sequence)
        return 1;
    StackingParams params = stackingParams(stack, *sequence, index);
    const int windowCount = params.frameCount;

    StackingEngine engine;
    QElapsedTimer timer;
    timer.start();
    cv::Mat light;
    std::string crash;
    std::atomic<bool> done{false};
    std::thread run([&]() noexcept {
        try {
            light = engine.computeLightImage(params);
        } catch (const std::exception& e) { // nothing may escape a thread
            crash = e.what();
        } catch (...) {
            crash = "unknown error";
        }
        done.store(true);
    });
    const bool terminal = isatty(fileno(stderr)) != 0;
    while (terminal && !done.load()) {
        drawProgress(engine.currentFrame() + 1, windowCount, engine.progressPercent());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    run.join();
    if (terminal)
        std::fputc('\n', stderr);
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    if (light.empty()) {
        const std::string why = crash.empty() ? engine.errorMessage() : crash;
        std::fprintf(stderr, "lumora-cli stack: no light image%s%s", why.empty() ? "" : ": ", why.c_str());
        if (why.empty() || why.back() != '\n')
            std::fputc('\n', stderr);
        return 1;
    }
    ExportPicture picture;
    picture.image = light;
    picture.kind = ExportPicture::Kind::Light;
    picture.whiteLight =
        diffuseWhiteLight(engine.lightOneMeans(), engine.lightTransfer() == VideoColour::Transfer::HLG);
    const WriteResult written =
        exportPicture(out.toStdString(), picture, bits, hdr,
                      exifSourceForFormat(formatIndex, sequence->sourceFileOf(index)));
    if (!written.ok) {
        std::fprintf(stderr, "lumora-cli stack: %s\n", written.error.c_str());
        return 1;
    }

    if (!ghostMap.isEmpty()) {
        const WriteResult map = writeImage(ghostMap.toStdString(), engine.ghostMap());
        if (!map.ok) {
            std::fprintf(stderr, "lumora-cli stack: %s\n", map.error.c_str());
            return 1;
        }
    }
    const auto report = engine.report();
    const int merged = 1 + static_cast<int>(std::count_if(report.begin(), report.end(), [](const auto& r) {
                           return r.state == StackingEngine::FrameReport::State::Merged;
                       }));
    if (json) {
        QJsonArray frames;
        frames.append(QJsonObject{{"index", index}, {"state", "chosen"}});
        for (const auto& r : report)
            frames.append(QJsonObject{
                {"index", r.index}, {"state", stateName(r.state)}, {"alignFailed", r.alignFailed}});
        QJsonObject o{{"output", out},
                      {"width", light.cols},
                      {"height", light.rows},
                      {"bits", bits},
                      {"chosenIndex", index},
                      {"firstIndex", params.firstIndex},
                      {"frameCount", params.frameCount},
                      {"merged", merged},
                      {"skipped", static_cast<int>(report.size()) + 1 - merged},
                      {"seconds", seconds},
                      {"frames", frames}};
        if (!ghostMap.isEmpty())
            o.insert("ghostMap", ghostMap);
        std::puts(QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
    } else {
        std::printf("%s: %dx%d light image of %d frames (%d skipped) in %.2f s\n",
                    out.toLocal8Bit().constData(), light.cols, light.rows, merged,
                    static_cast<int>(report.size()) + 1 - merged, seconds);
        for (const auto& r : report)
            if (r.state != StackingEngine::FrameReport::State::Merged)
                std::printf("  frame %d: %s\n", r.index, stateName(r.state));
    }
    if (!written.exifWarning.empty())
        std::fprintf(stderr, "lumora-cli stack: warning: EXIF not copied: %s\n", written.exifWarning.c_str());
    Recipe recipe;
    const std::string problem = startRecipe(*sequence, out, bits, hdr, &recipe).reason();
    recordStack(&recipe, stack, index, params);
    return finishRecipe(line, recipe, problem, out);
}

} // namespace lumora::cli
