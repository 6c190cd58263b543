#include "CliCommands.h"
#include "HdrOptions.h"
#include "StackOptions.h"

#include "export/ExportFormats.h"
#include "imageio/ExifToolSession.h"
#include "imageio/ImageFile.h"
#include "media/ImagesSequence.h"
#include "presets/PresetFiles.h"
#include "tonemap/ToneMapEngine.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora::cli {

// Opens a video, a folder of photos or several photos (CommandStack.cpp).

namespace {

const char* const kToneOptions =
    "Tone-mapping options take the positions of the window's controls:\n"
    "  --preset NAME            start from a preset (Original, Soft, Strong, or one of "
    "default.xml/user.xml)\n"
    "  --operator 0..4          0 local Laplacian, 1 logarithmic, 2 local contrast, 3 sliders only,\n"
    "                           4 tone compression and detail enhancement\n"
    "  --alpha --beta --gamma   the operator's sliders, -100..100\n"
    "  --exposure --contrast --highlights --shadows --whites --blacks --hue --saturation --vibrance\n"
    "  --strength               -100..100\n"
    "  --black-clip --white-clip --sharpening-amount --sharpening-threshold   0..100\n"
    "  --sharpening-radius      0..20\n"
    "  --no-tonemap, --no-sharpen   switch the operator or the sharpening off\n"
    "  --rotate DEG             the rotation slider, -180..180 (positive turns clockwise)\n"
    "  --crop X,Y,W,H           in pixels of the rotated full-size image\n"
    "  --bits 8|10|16|32        depth of OUT (default: the format's usual one; .exr: 16 half, 32 float;\n"
    "                           .avif: 10)\n"
    "  --json                   print the result as JSON\n"
    "Without --preset the controls start at the window's designed positions (all sliders at 0, sharpening\n"
    "amount 50, radius 3); the options given then override single controls.";

struct SliderOption {
    const char* flag;
    int ControlPositions::*field;
    int lo, hi;
};

const SliderOption kSliders[] = {
    {"--alpha", &ControlPositions::alpha, -100, 100},
    {"--beta", &ControlPositions::beta, -100, 100},
    {"--gamma", &ControlPositions::gamma, -100, 100},
    {"--exposure", &ControlPositions::exposure, -100, 100},
    {"--contrast", &ControlPositions::contrast, -100, 100},
    {"--highlights", &ControlPositions::highlights, -100, 100},
    {"--shadows", &ControlPositions::shadows, -100, 100},
    {"--whites", &ControlPositions::whites, -100, 100},
    {"--blacks", &ControlPositions::blacks, -100, 100},
    {"--hue", &ControlPositions::hue, -100, 100},
    {"--saturation", &ControlPositions::saturation, -100, 100},
    {"--vibrance", &ControlPositions::vibrance, -100, 100},
    {"--strength", &ControlPositions::strength, -100, 100},
    {"--black-clip", &ControlPositions::blackClip, 0, 100},
    {"--white-clip", &ControlPositions::whiteClip, 0, 100},
    {"--sharpening-amount", &ControlPositions::sharpeningAmount, 0, 100},
    {"--sharpening-threshold", &ControlPositions::sharpeningThreshold, 0, 100},
    {"--sharpening-radius", &ControlPositions::sharpeningRadius, 0, 20},
};

struct ToneOptions {
    QString preset;
    std::vector<std::pair<const SliderOption*, int>> sliders; // in the order given
    int operatorIndex = -1;
    bool noTonemap = false;
    bool noSharpen = false;
    std::optional<int> rotate;
    std::optional<cv::Rect> crop;
    int bits = 0;
    bool json = false;
    QString out;
    HdrChoices hdr;
    double whiteLight = 1.0; // the light image's level of diffuse white
};

enum class Parsed { Taken, NotMine, Error };

// One tone-mapping option at args[i] (advancing i past its value), or NotMine.
Parsed parseToneOption(const QStringList& args, int& i, ToneOptions& o, QString* error) {
    const QString& a = args[i];
    const bool hasValue = i + 1 < args.size();
    bool ok = true;
    const OptionParse hdr = parseHdrOption(args, i, o.hdr, error);
    if (hdr != OptionParse::NotMine)
        return hdr == OptionParse::Taken ? Parsed::Taken : Parsed::Error;
    for (const SliderOption& s : kSliders) {
        if (a != QLatin1String(s.flag))
            continue;
        const int v = hasValue ? args[i + 1].toInt(&ok) : 0;
        if (!hasValue || !ok || v < s.lo || v > s.hi) {
            *error = QStringLiteral("%1 takes a position from %2 to %3").arg(a).arg(s.lo).arg(s.hi);
            return Parsed::Error;
        }
        ++i;
        o.sliders.emplace_back(&s, v);
        return Parsed::Taken;
    }
    if (a == QLatin1String("--preset") && hasValue) {
        o.preset = args[++i];
    } else if (a == QLatin1String("--operator") && hasValue) {
        o.operatorIndex = args[++i].toInt(&ok);
        if (!ok || o.operatorIndex < 0 || o.operatorIndex > 4) {
            *error = QStringLiteral("--operator takes 0..4");
            return Parsed::Error;
        }
    } else if (a == QLatin1String("--no-tonemap")) {
        o.noTonemap = true;
    } else if (a == QLatin1String("--no-sharpen")) {
        o.noSharpen = true;
    } else if (a == QLatin1String("--rotate") && hasValue) {
        const int deg = args[++i].toInt(&ok);
        if (!ok || deg < -180 || deg > 180) {
            *error = QStringLiteral("--rotate takes -180..180");
            return Parsed::Error;
        }
        o.rotate = deg;
    } else if (a == QLatin1String("--crop") && hasValue) {
        const QStringList parts = args[++i].split(QLatin1Char(','));
        int v[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4 && parts.size() == 4 && ok; ++k)
            v[k] = parts[k].trimmed().toInt(&ok);
        if (parts.size() != 4 || !ok || v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1) {
            *error = QStringLiteral("--crop takes X,Y,W,H with X, Y >= 0 and W, H >= 1");
            return Parsed::Error;
        }
        o.crop = cv::Rect(v[0], v[1], v[2], v[3]);
    } else if (a == QLatin1String("--bits") && hasValue) {
        o.bits = args[++i].toInt(&ok);
        if (!ok || (o.bits != 8 && o.bits != 10 && o.bits != 16 && o.bits != 32)) {
            *error = QStringLiteral("--bits takes 8, 10, 16 or 32");
            return Parsed::Error;
        }
    } else if (a == QLatin1String("--json")) {
        o.json = true;
    } else if (a == QLatin1String("-o") && hasValue) {
        o.out = args[++i];
    } else {
        return Parsed::NotMine;
    }
    return Parsed::Taken;
}

// The control positions the options describe: the preset's (or the designed ones), then single overrides.
bool resolvePositions(const ToneOptions& o, ControlPositions* p, QString* error) {
    *p = ControlPositions{};
    if (!o.preset.isEmpty()) {
        std::vector<PresetRecord> all = builtInPresets();
        usePresetFolders();
        loadDefaultPresets();
        loadUserPresets();
        for (const auto& list : {defaultPresets(), userPresets()})
            all.insert(all.end(), list.begin(), list.end());
        const auto it = std::find_if(all.begin(), all.end(), [&](const PresetRecord& r) {
            return QString::fromStdString(r.name).compare(o.preset, Qt::CaseInsensitive) == 0;
        });
        if (it == all.end()) {
            *error = QStringLiteral("no preset named '%1' (see lumora-cli presets)").arg(o.preset);
            return false;
        }
        *p = it->positions();
    }
    if (o.operatorIndex >= 0)
        p->TMAlgo = o.operatorIndex;
    for (const auto& [slider, value] : o.sliders)
        p->*(slider->field) = value;
    if (o.noTonemap)
        p->applyTM = false;
    if (o.noSharpen)
        p->applySharpening = false;
    return true;
}

// The depth to write OUT at: the one asked for when its format offers it, else the format's usual one.
bool outputDepth(const QString& out, int asked, int* bits, QString* error) {
    const int index = exportFormatIndexForSuffix(QFileInfo(out).suffix());
    if (index < 0) {
        *error = QStringLiteral("OUT must end in .jpg, .hdr, .tif, .psd, .bmp, .exr or .avif");
        return false;
    }
    const ExportFormat& format = exportFormats()[static_cast<std::size_t>(index)];
    *bits = asked == 0 ? format.defaultDepth() : asked;
    if (!format.offersDepth(*bits)) {
        *error =
            QStringLiteral("%1 files cannot be written at %2 bits").arg(QFileInfo(out).suffix()).arg(*bits);
        return false;
    }
    return true;
}

struct Rendered {
    cv::Mat image;
    int operatorIndex = 0;
    double seconds = 0.0;
    std::string error; // why there is no tone-mapped image; empty on success
    // For the HDR formats: the light image under the edit's rotation and crop, and the edit's exposure.
    cv::Mat light;
    float exposureStops = 0.f;
    QJsonObject timings; // seconds per phase: the engine's stages, then the writing
};

double secondsSince(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) * 1e-9;
}

// The full-size render of the light image with the options' controls.
Rendered render(const cv::Mat& light, const ControlPositions& positions, const ToneOptions& o) {
    ToneMapEngine engine;
    engine.setImage(light);
    applyControlPositions(engine, positions);
    if (o.rotate)
        engine.setRotation(position::rotation(*o.rotate));
    if (o.crop)
        engine.setCropRect(*o.crop);
    QElapsedTimer timer;
    timer.start();
    Rendered r;
    r.image = engine.renderFullSize();
    r.seconds = secondsSince(timer);
    r.operatorIndex = engine.params().operatorIndex;
    for (int stage = 0; stage < ToneMapEngine::StageOutput; ++stage)
        r.timings.insert(QLatin1String(ToneMapEngine::stepName(stage)),
                         engine.lastStageSeconds()[static_cast<std::size_t>(stage)]);
    // A failed render leaves the engine's previous output, the untoned image: never written as the result.
    if (engine.lastOutcome() != RunOutcome::Finished)
        r.error = engine.lastError().empty() ? "the render was interrupted" : engine.lastError();
    else if (isLinearFormat(o.out.toStdString())) {
        r.light = engine.lightUnderGeometry();
        r.exposureStops = engine.params().exposure;
    }
    return r;
}

// The set-up after main began, then exiftool's start, timed as the first phases of a command.
QJsonObject startPhases(std::optional<ExifToolSession>& exif) {
    QJsonObject timings;
    timings.insert(QStringLiteral("setup"), secondsSince(startTimes().sinceMain));
    QElapsedTimer timer;
    timer.start();
    exif.emplace(); // exiftool starts now and is ready by the time the picture is written
    timings.insert(QStringLiteral("exiftoolStart"), secondsSince(timer));
    return timings;
}

// Writes the result with the source's EXIF data and reports it; the process exit status. exiftool is asked
// to finish before the report, so that the report holds every phase up to the exit: "load" is the CPU time
// before main, "total" that plus the time since.
int finish(const char* command, const ToneOptions& o, const Rendered& r, int bits,
           const std::string& exifSource, std::optional<ExifToolSession>& exif, QJsonObject extra) {
    if (!r.error.empty()) {
        std::fprintf(stderr, "lumora-cli %s: tone mapping failed: %s\n", command, r.error.c_str());
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const std::string copyFrom =
        exifSourceForFormat(exportFormatIndexForSuffix(QFileInfo(o.out).suffix()), exifSource);
    ExportPicture picture;
    picture.image = r.image;
    picture.light = r.light;
    picture.whiteLight = o.whiteLight;
    picture.exposureStops = r.exposureStops;
    const WriteResult written = exportPicture(o.out.toStdString(), picture, bits, o.hdr, copyFrom);
    QJsonObject timings = extra.value(QStringLiteral("timings")).toObject();
    for (auto it = r.timings.begin(); it != r.timings.end(); ++it)
        timings.insert(it.key(), it.value());
    const WriteResult::Timings& w = written.seconds;
    timings.insert(QStringLiteral("depth"), secondsSince(timer) - w.encode - w.file - w.exif);
    timings.insert(QStringLiteral("encode"), w.encode);
    timings.insert(QStringLiteral("file"), w.file);
    timings.insert(QStringLiteral("exif"), w.exif);
    timer.restart();
    exif.reset();
    timings.insert(QStringLiteral("exiftoolStop"), secondsSince(timer));
    timings.insert(QStringLiteral("load"), startTimes().load);
    timings.insert(QStringLiteral("total"), startTimes().load + secondsSince(startTimes().sinceMain));
    extra.insert(QStringLiteral("timings"), timings);
    if (!written.ok) {
        std::fprintf(stderr, "lumora-cli %s: %s\n", command, written.error.c_str());
        return 1;
    }
    const bool toned = r.image.data != nullptr;
    if (o.json) {
        extra.insert(QStringLiteral("output"), o.out);
        extra.insert(QStringLiteral("width"), r.image.cols);
        extra.insert(QStringLiteral("height"), r.image.rows);
        extra.insert(QStringLiteral("bits"), bits);
        extra.insert(QStringLiteral("operator"), r.operatorIndex);
        extra.insert(QStringLiteral("toneMapSeconds"), r.seconds);
        extra.insert(QStringLiteral("exifCopied"), written.exifWarning.empty() && !copyFrom.empty());
        std::puts(QJsonDocument(extra).toJson(QJsonDocument::Indented).constData());
    } else if (toned) {
        std::printf("%s: %dx%d, %d bits, operator %d (%s), rendered in %.2f s\n",
                    o.out.toLocal8Bit().constData(), r.image.cols, r.image.rows, bits, r.operatorIndex,
                    toneMappingOperatorName(r.operatorIndex), r.seconds);
    }
    if (!written.exifWarning.empty())
        std::fprintf(stderr, "lumora-cli %s: warning: EXIF not copied: %s\n", command,
                     written.exifWarning.c_str());
    return 0;
}

int usageError(const char* command, const QString& message) {
    std::fprintf(stderr, "lumora-cli %s: %s (see --help)\n", command, message.toLocal8Bit().constData());
    return 2;
}

} // namespace

int runTonemap(const QStringList& args) {
    ToneOptions o;
    QString in, error;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--help")) {
            std::printf(
                "usage: lumora-cli tonemap IN -o OUT [options]\n"
                "Renders a light image or a photo IN at full size as the window exports it, and writes\n"
                "OUT (jpg, hdr, tif, psd, bmp, exr or avif) with IN's EXIF data (none in exr).\n%s\n%s\n",
                kToneOptions, kHdrOptionsHelp);
            return 0;
        }
        const Parsed p = parseToneOption(args, i, o, &error);
        if (p == Parsed::Error)
            return usageError("tonemap", error);
        if (p == Parsed::Taken)
            continue;
        if (args[i] == QLatin1String("--") && i + 1 < args.size() && in.isEmpty())
            in = args[++i];
        else if (args[i].startsWith(QLatin1Char('-')) || !in.isEmpty())
            return usageError("tonemap", QStringLiteral("unexpected argument '%1'").arg(args[i]));
        else
            in = args[i];
    }
    if (in.isEmpty())
        return usageError("tonemap", QStringLiteral("missing IN"));
    if (o.out.isEmpty())
        return usageError("tonemap", QStringLiteral("missing -o OUT"));
    int bits = 0;
    ControlPositions positions;
    if (!outputDepth(o.out, o.bits, &bits, &error) || !resolvePositions(o, &positions, &error))
        return usageError("tonemap", error);

    // The decoding helper starts and reads while exiftool starts here; "read" is then the wait that is left.
    std::future<cv::Mat> reading = std::async(std::launch::async, readImage, in.toStdString(), false);
    std::optional<ExifToolSession> exif;
    QJsonObject timings = startPhases(exif);
    QElapsedTimer timer;
    timer.start();
    const cv::Mat image = reading.get();
    if (image.empty()) {
        std::fprintf(stderr, "lumora-cli tonemap: cannot read '%s'\n", in.toLocal8Bit().constData());
        return 1;
    }
    timings.insert(QStringLiteral("read"), secondsSince(timer));
    const Rendered r = render(image, positions, o);
    return finish("tonemap", o, r, bits, in.toStdString(), exif,
                  QJsonObject{{"input", in}, {"timings", timings}});
}

int runRender(const QStringList& args) {
    ToneOptions o;
    std::vector<std::string> media;
    int index = -1;
    StackOptions stack;
    QString error;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("--help")) {
            std::printf(
                "usage: lumora-cli render MEDIA... --index N [stack options] [options] -o OUT\n"
                "Stacks frame N of a video or burst with its neighbours into a light image (as 'lumora-cli\n"
                "stack' does: --before B, --after A, --quality fast|good|optimal, --antighost\n"
                "off|medium|high|0..100, --motion auto|0..100, --align|--no-align, --search\n"
                "fast|exhaustive), tone-maps it at full size and writes OUT with the source's EXIF "
                "data.\n%s\n%s\n",
                kToneOptions, kHdrOptionsHelp);
            return 0;
        }
        const Parsed p = parseToneOption(args, i, o, &error);
        if (p == Parsed::Error)
            return usageError("render", error);
        if (p == Parsed::Taken)
            continue;
        const OptionParse sp = parseStackOption(args, i, stack, &error);
        if (sp == OptionParse::Error)
            return usageError("render", error);
        if (sp == OptionParse::Taken)
            continue;
        if (a == QLatin1String("--index") && hasValue) {
            index = args[++i].toInt(&ok);
            if (!ok || index < 0)
                return usageError("render", QStringLiteral("--index takes a frame number from 0"));
        } else if (a == QLatin1String("--")) {
            for (++i; i < args.size(); ++i)
                media.push_back(args[i].toStdString());
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return usageError("render", QStringLiteral("unexpected argument '%1'").arg(a));
        } else {
            media.push_back(a.toStdString());
        }
    }
    if (media.empty())
        return usageError("render", QStringLiteral("missing MEDIA"));
    if (index < 0)
        return usageError("render", QStringLiteral("missing --index"));
    if (o.out.isEmpty())
        return usageError("render", QStringLiteral("missing -o OUT"));
    int bits = 0;
    ControlPositions positions;
    if (!outputDepth(o.out, o.bits, &bits, &error) || !resolvePositions(o, &positions, &error))
        return usageError("render", error);

    std::optional<ExifToolSession> exif;
    QJsonObject timings = startPhases(exif);
    QElapsedTimer opening;
    opening.start();
    const std::unique_ptr<ImagesSequence> sequence = openSequenceAt("render", media, index);
    if (!sequence)
        return 1;
    timings.insert(QStringLiteral("open"), secondsSince(opening));
    StackingParams params = stackingParams(stack, *sequence, index);

    QElapsedTimer timer;
    timer.start();
    std::string why;
    const cv::Mat light = stackLightImage(params, &why, &o.whiteLight);
    const double stackSeconds = static_cast<double>(timer.elapsed()) / 1000.0;
    if (light.empty()) {
        std::fprintf(stderr, "lumora-cli render: no light image%s%s\n", why.empty() ? "" : ": ", why.c_str());
        return 1;
    }
    const Rendered r = render(light, positions, o);
    if (!o.json)
        std::printf("light image of frames %d..%d stacked in %.2f s\n", params.firstIndex,
                    params.firstIndex + params.frameCount - 1, stackSeconds);
    // The EXIF data comes from the video, or from the chosen photo of a burst.
    const std::string exifSource = sequence->sourceFileOf(index);
    timings.insert(QStringLiteral("stack"), stackSeconds);
    return finish("render", o, r, bits, exifSource, exif,
                  QJsonObject{{"timings", timings},
                              {"chosenIndex", index},
                              {"firstIndex", params.firstIndex},
                              {"frameCount", params.frameCount},
                              {"stackSeconds", stackSeconds}});
}

} // namespace lumora::cli
