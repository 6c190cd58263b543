#include "CliCommands.h"
#include "HdrOptions.h"
#include "RecipeOptions.h"
#include "StackOptions.h"

#include "app/AppIdentity.h"
#include "export/ExportFormats.h"
#include "imageio/ExifToolSession.h"
#include "imageio/ImageFile.h"
#include "media/ImagesSequence.h"
#include "presets/PresetFiles.h"
#include "tonemap/ToneControls.h"
#include "tonemap/ToneMapEngine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora::cli {

// Opens a video, a folder of photos or several photos (CommandStack.cpp).

namespace {

// The tone-mapping options as the commands' help lists them; the controls' lines come from the table.
QString toneOptionsHelp() {
    QString help = QStringLiteral(
        "Tone-mapping options take the positions of the window's controls:\n"
        "  --preset NAME            start from a preset (Original, Soft, Strong, or one of "
        "default.xml/user.xml)\n"
        "  --operator 0..4          0 local Laplacian, 1 logarithmic, 2 local contrast, 3 sliders only,\n"
        "                           4 tone compression and detail enhancement\n");
    // One line per help line of the table; a line whose range goes on in the next one leaves it to that.
    std::vector<std::vector<const ToneControl*>> lines;
    for (const ToneControl& c : kToneControls) {
        if (c.helpLine < 0)
            continue;
        lines.resize(std::max(lines.size(), std::size_t(c.helpLine) + 1));
        lines[std::size_t(c.helpLine)].push_back(&c);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        QString options;
        for (const ToneControl* c : lines[i])
            options += (options.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1String(c->cliOption);
        const ToneControl& first = *lines[i].front();
        const ToneControl* next = i + 1 < lines.size() ? lines[i + 1].front() : nullptr;
        const bool goesOn =
            next && next->kind == first.kind && next->low == first.low && next->high == first.high;
        help += QStringLiteral("  ") + options;
        if (!goesOn) {
            help +=
                options.size() < 25 ? QString(25 - options.size(), QLatin1Char(' ')) : QStringLiteral("   ");
            if (first.kind == ToneControlKind::OperatorSlider)
                help += QStringLiteral("the operator's sliders, ");
            help += QStringLiteral("%1..%2").arg(first.low).arg(first.high);
        }
        help += QLatin1Char('\n');
    }
    help += QStringLiteral(
                "  --no-tonemap, --no-sharpen   switch the operator or the sharpening off\n"
                "  --rotate DEG             the rotation slider, -180..180 (positive turns clockwise)\n"
                "  --crop X,Y,W,H           in pixels of the rotated full-size image\n"
                "  --bits 8|10|16|32        depth of OUT (default: the format's usual one; .exr: 16 half, 32 "
                "float;\n"
                "                           .avif: 10)\n"
                "  --json                   print the result as JSON\n") +
            QLatin1String(kRecipeOptionHelp) +
            QStringLiteral(
                "\n"
                "Without --preset the controls start at the window's designed positions (all sliders at 0, "
                "sharpening\n"
                "amount 50, radius 3); the options given then override single controls.");
    return help;
}

struct ToneOptions {
    QString preset;
    std::vector<std::pair<const ToneControl*, int>> sliders;
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

// The option name of a control without its dashes.
QString optionName(const ToneControl& c) {
    return QString::fromLatin1(c.cliOption).mid(2);
}

void addToneOptions(CommandLine& line) {
    for (const ToneControl& c : kToneControls)
        (c.kind == ToneControlKind::Switch ? line.addFlags({optionName(c)})
                                           : line.addValued({optionName(c)}));
    line.addValued({QStringLiteral("preset"), QStringLiteral("rotate"), QStringLiteral("crop"),
                    QStringLiteral("bits"), QStringLiteral("o")});
    line.addFlags({QStringLiteral("json")});
    addHdrOptions(line);
    addRecipeOption(line);
}

// The tone-mapping options given; false after printing a usage error.
bool readToneOptions(CommandLine& line, ToneOptions& o) {
    if (!readHdrOptions(line, o.hdr))
        return false;
    for (const ToneControl& c : kToneControls) {
        const QString name = optionName(c);
        if (!line.isSet(name))
            continue;
        if (c.kind == ToneControlKind::Switch) {
            (c.onOff == &ControlPositions::applyTM ? o.noTonemap : o.noSharpen) = true;
            continue;
        }
        const QString message = c.kind == ToneControlKind::Operator
                                    ? QStringLiteral("--operator takes 0..4")
                                    : QStringLiteral("%1 takes a position from %2 to %3")
                                          .arg(QLatin1String(c.cliOption))
                                          .arg(c.low)
                                          .arg(c.high);
        const std::optional<int> v = line.number(name, 0, c.low, c.high, message);
        if (!v)
            return false;
        if (c.kind == ToneControlKind::Operator)
            o.operatorIndex = *v;
        else
            o.sliders.emplace_back(&c, *v);
    }
    o.preset = line.value(QStringLiteral("preset"));
    o.out = line.value(QStringLiteral("o"));
    o.json = line.isSet(QStringLiteral("json"));
    if (line.isSet(QStringLiteral("rotate"))) {
        o.rotate =
            line.number(QStringLiteral("rotate"), 0, -180, 180, QStringLiteral("--rotate takes -180..180"));
        if (!o.rotate)
            return false;
    }
    if (line.isSet(QStringLiteral("crop"))) {
        const QStringList parts = line.value(QStringLiteral("crop")).split(QLatin1Char(','));
        bool ok = true;
        int v[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4 && parts.size() == 4 && ok; ++k)
            v[k] = parts[k].trimmed().toInt(&ok);
        if (parts.size() != 4 || !ok || v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1) {
            line.usageError(QStringLiteral("--crop takes X,Y,W,H with X, Y >= 0 and W, H >= 1"));
            return false;
        }
        o.crop = cv::Rect(v[0], v[1], v[2], v[3]);
    }
    const std::optional<int> bits = line.oneOf(QStringLiteral("bits"), 0, {8, 10, 16, 32},
                                               QStringLiteral("--bits takes 8, 10, 16 or 32"));
    if (!bits)
        return false;
    o.bits = *bits;
    return true;
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
        setPositionOf(*p, *slider, value);
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
    Result<cv::Mat> rendered = engine.renderFullSize();
    r.image = rendered.take();
    r.seconds = secondsSince(timer);
    r.operatorIndex = engine.params().operatorIndex;
    for (int stage = 0; stage < ToneMapEngine::StageOutput; ++stage)
        r.timings.insert(QLatin1String(ToneMapEngine::stepName(stage)),
                         engine.lastStageSeconds()[static_cast<std::size_t>(stage)]);
    // A failed render leaves the engine's previous output, the untoned image: never written as the result.
    if (!rendered)
        r.error = rendered.reason();
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

} // namespace

int runTonemap(const QStringList& args) {
    // "-- IN" names IN, whatever it looks like; the options may go on after it.
    QStringList rest = args;
    QString in;
    const int ended = rest.indexOf(QStringLiteral("--"));
    if (ended >= 0 && ended + 1 < rest.size()) {
        in = rest.takeAt(ended + 1);
        rest.removeAt(ended);
    }
    CommandLine line("tonemap");
    addToneOptions(line);
    const QByteArray help =
        (QStringLiteral("usage: lumora-cli tonemap IN -o OUT [options]\n"
                        "Renders a light image or a photo IN at full size as the window "
                        "exports it, and writes\n"
                        "OUT (jpg, hdr, tif, psd, bmp, exr or avif) with IN's EXIF data (none in "
                        "exr).\n") +
         toneOptionsHelp() + QLatin1Char('\n') + QLatin1String(kHdrOptionsHelp))
            .toLocal8Bit();
    if (const std::optional<int> status = line.parse(rest, help.constData()))
        return *status;
    ToneOptions o;
    if (!readToneOptions(line, o))
        return 2;
    QStringList inputs = line.positional();
    if (in.isEmpty() && !inputs.isEmpty())
        in = inputs.takeFirst();
    if (!inputs.isEmpty())
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(inputs.front()));
    if (in.isEmpty())
        return line.usageError(QStringLiteral("missing IN"));
    if (o.out.isEmpty())
        return line.usageError(QStringLiteral("missing -o OUT"));
    QString error;
    int bits = 0;
    ControlPositions positions;
    if (!outputDepth(o.out, o.bits, &bits, &error) || !resolvePositions(o, &positions, &error))
        return line.usageError(error);

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
    const int status = finish("tonemap", o, r, bits, in.toStdString(), exif,
                              QJsonObject{{"input", in}, {"timings", timings}});
    if (status != 0)
        return status;
    Recipe recipe;
    const std::string problem = startImageRecipe(in.toStdString(), o.out, bits, o.hdr, &recipe).reason();
    recipe.tone = positions;
    recipe.rotation = o.rotate.value_or(0);
    recipe.crop = o.crop;
    return finishRecipe(line, recipe, problem, o.out);
}

namespace {

// Writes an untoned picture (a frame, or a light image) as `frame` and `stack` write it.
int writeUntoned(const cv::Mat& image, bool light, double whiteLight, int jpegQuality, const ToneOptions& o,
                 int bits, const std::string& exifSource) {
    ExportPicture picture;
    picture.image = image;
    picture.kind = light ? ExportPicture::Kind::Light : ExportPicture::Kind::Display;
    picture.whiteLight = whiteLight;
    const int format = exportFormatIndexForSuffix(QFileInfo(o.out).suffix());
    const WriteResult written = exportPicture(o.out.toStdString(), picture, bits, o.hdr,
                                              exifSourceForFormat(format, exifSource), jpegQuality);
    if (!written.ok) {
        std::fprintf(stderr, "lumora-cli render: %s\n", written.error.c_str());
        return 1;
    }
    if (!written.exifWarning.empty())
        std::fprintf(stderr, "lumora-cli render: warning: EXIF not copied: %s\n",
                     written.exifWarning.c_str());
    if (o.json)
        std::puts(
            QJsonDocument(
                QJsonObject{{"output", o.out}, {"width", image.cols}, {"height", image.rows}, {"bits", bits}})
                .toJson(QJsonDocument::Indented)
                .constData());
    else
        std::printf("%s: %dx%d, %d bits\n", o.out.toLocal8Bit().constData(), image.cols, image.rows, bits);
    return 0;
}

// "dir/NAME.ext", or the first of "dir/NAME-1.ext", "dir/NAME-2.ext", ... that does not exist: a re-render
// beside its recipe never replaces the picture it was made from.
QString freeOutputPath(const QString& recipePath, const QString& suffix) {
    const QFileInfo info(recipePath);
    QString name = info.fileName();
    name.chop(int(std::strlen(".lumora.json")));
    const QDir dir = info.absoluteDir();
    QString path = dir.filePath(name + QLatin1Char('.') + suffix);
    for (int k = 1; QFileInfo::exists(path); ++k)
        path = dir.filePath(QStringLiteral("%1-%2.%3").arg(name).arg(k).arg(suffix));
    return path;
}

// lumora-cli render --recipe FILE [-o OUT]: the picture the recipe describes, made again.
int renderFromRecipe(const CommandLine& line, const QString& recipePath, QString out, bool json) {
    const RecipeReading reading = openRecipe(recipePath.toStdString());
    if (!reading.ok) {
        std::fprintf(stderr, "lumora-cli render: %s: %s\n", recipePath.toLocal8Bit().constData(),
                     reading.error.c_str());
        return 1;
    }
    for (const std::string& w : reading.warnings)
        std::fprintf(stderr, "lumora-cli render: warning: %s\n", w.c_str());
    const Recipe& r = reading.recipe;
    const QString recorded = QString::fromStdString(r.outputFormat);
    if (out.isEmpty())
        out = freeOutputPath(recipePath, recorded);
    ToneOptions o;
    o.out = out;
    o.json = json;
    o.hdr.peakNits = r.peakNits;
    o.hdr.transferIndex = r.transferIndex;
    if (r.rotation != 0)
        o.rotate = r.rotation;
    o.crop = r.crop;
    // The recorded depth where OUT's format offers it (always when OUT keeps the recorded format).
    const int format = exportFormatIndexForSuffix(QFileInfo(out).suffix());
    const bool sameFormat = QFileInfo(out).suffix().compare(recorded, Qt::CaseInsensitive) == 0;
    const bool offered = format >= 0 && exportFormats()[std::size_t(format)].offersDepth(r.outputBits);
    int bits = 0;
    QString error;
    if (!outputDepth(out, sameFormat || offered ? r.outputBits : 0, &bits, &error)) {
        std::fprintf(stderr, "lumora-cli render: %s\n", error.toLocal8Bit().constData());
        return 1;
    }

    std::optional<ExifToolSession> exif;
    QJsonObject timings = startPhases(exif);
    cv::Mat picture;
    bool light = false;
    std::string exifSource = r.sources.front().path;
    std::unique_ptr<ImagesSequence> sequence;
    if (r.sourceKind == RecipeSourceKind::Image) {
        picture = readImage(exifSource, false);
        if (picture.empty()) {
            std::fprintf(stderr, "lumora-cli render: cannot read '%s'\n", exifSource.c_str());
            return 1;
        }
    } else {
        std::vector<std::string> media;
        for (const RecipeSource& s : r.sources)
            media.push_back(s.path);
        sequence = openSequenceAt("render", media, r.chosenFrame);
        if (!sequence)
            return 1;
        exifSource = sequence->sourceFileOf(r.chosenFrame);
        if (r.stacking) {
            StackingParams params = stackingParams(*r.stacking, *sequence, r.chosenFrame);
            if (params.firstIndex != r.firstFrame || params.frameCount != r.frameCount)
                std::fprintf(stderr,
                             "lumora-cli render: warning: the recipe stacked frames %d..%d, the source now "
                             "gives %d..%d\n",
                             r.firstFrame, r.firstFrame + r.frameCount - 1, params.firstIndex,
                             params.firstIndex + params.frameCount - 1);
            std::string why;
            picture = stackLightImage(params, &why, &o.whiteLight);
            if (picture.empty()) {
                std::fprintf(stderr, "lumora-cli render: no light image%s%s\n", why.empty() ? "" : ": ",
                             why.c_str());
                return 1;
            }
            light = true;
        } else {
            picture = sequence->getCvImageAt(r.chosenFrame, false, true, false);
            if (picture.empty()) {
                std::fprintf(stderr, "lumora-cli render: frame %d cannot be read\n", r.chosenFrame);
                return 1;
            }
        }
    }
    int status = 0;
    if (r.tone) {
        const Rendered rendered = render(picture, *r.tone, o);
        status = finish("render", o, rendered, bits, exifSource, exif,
                        QJsonObject{{"timings", timings}, {"recipe", recipePath}});
    } else {
        exif.reset();
        status = writeUntoned(picture, light, o.whiteLight, r.jpegQuality, o, bits, exifSource);
    }
    if (status != 0)
        return status;
    Recipe again = r;
    again.programVersion = kApplicationVersion;
    again.outputFormat = QFileInfo(out).suffix().toLower().toStdString();
    again.outputBits = bits;
    return finishRecipe(line, again, std::string(), out);
}

} // namespace

int runRender(const QStringList& args) {
    CommandLine line("render");
    addToneOptions(line);
    addStackOptions(line);
    line.addValued({QStringLiteral("index"), QStringLiteral("recipe")});
    const QByteArray help =
        (QStringLiteral(
             "usage: lumora-cli render MEDIA... --index N [stack options] [options] -o OUT\n"
             "       lumora-cli render --recipe FILE [-o OUT] [--json] [--no-recipe]\n"
             "Stacks frame N of a video or burst with its neighbours into a light image (as "
             "'lumora-cli\n"
             "stack' does: --before B, --after A, --quality fast|good|optimal, --antighost\n"
             "off|medium|high|0..100, --motion auto|0..100, --align|--no-align, --search\n"
             "fast|exhaustive), tone-maps it at full size and writes OUT with the source's EXIF "
             "data.\n"
             "--recipe FILE makes the picture a recipe (NAME.lumora.json, written beside every\n"
             "export) describes again, from the same sources, frames and choices; the same program\n"
             "version gives the same bytes. A source that is not at its recorded path is looked for\n"
             "beside the recipe; a changed source is a warning. Without -o the picture goes beside\n"
             "the recipe, under a free name (NAME-1.jpg if NAME.jpg exists).\n") +
         toneOptionsHelp() + QLatin1Char('\n') + QLatin1String(kHdrOptionsHelp))
            .toLocal8Bit();
    if (const std::optional<int> status = line.parse(args, help.constData()))
        return *status;
    if (line.isSet(QStringLiteral("recipe"))) {
        // The recipe holds every choice: only where to write and how to report may be given with it.
        const QStringList allowed{QStringLiteral("recipe"), QStringLiteral("o"), QStringLiteral("json"),
                                  QStringLiteral("no-recipe")};
        for (const QString& name : line.optionNames())
            if (!allowed.contains(name))
                return line.usageError(QStringLiteral("--%1 cannot be given with --recipe").arg(name));
        if (!line.positional().isEmpty())
            return line.usageError(QStringLiteral("MEDIA cannot be given with --recipe"));
        return renderFromRecipe(line, line.value(QStringLiteral("recipe")), line.value(QStringLiteral("o")),
                                line.isSet(QStringLiteral("json")));
    }
    ToneOptions o;
    StackOptions stack;
    if (!readToneOptions(line, o) || !readStackOptions(line, stack))
        return 2;
    const std::optional<int> givenIndex = line.frameIndex();
    if (!givenIndex)
        return 2;
    const int index = *givenIndex;
    const std::vector<std::string> media = line.media();
    if (media.empty())
        return line.usageError(QStringLiteral("missing MEDIA"));
    if (index < 0)
        return line.usageError(QStringLiteral("missing --index"));
    if (o.out.isEmpty())
        return line.usageError(QStringLiteral("missing -o OUT"));
    QString error;
    int bits = 0;
    ControlPositions positions;
    if (!outputDepth(o.out, o.bits, &bits, &error) || !resolvePositions(o, &positions, &error))
        return line.usageError(error);

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
    const int status = finish("render", o, r, bits, exifSource, exif,
                              QJsonObject{{"timings", timings},
                                          {"chosenIndex", index},
                                          {"firstIndex", params.firstIndex},
                                          {"frameCount", params.frameCount},
                                          {"stackSeconds", stackSeconds}});
    if (status != 0)
        return status;
    Recipe recipe;
    const std::string problem = startRecipe(*sequence, o.out, bits, o.hdr, &recipe).reason();
    recordStack(&recipe, stack, index, params);
    recipe.tone = positions;
    recipe.rotation = o.rotate.value_or(0);
    recipe.crop = o.crop;
    return finishRecipe(line, recipe, problem, o.out);
}

} // namespace lumora::cli
