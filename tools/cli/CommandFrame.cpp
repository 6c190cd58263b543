#include "CliCommands.h"
#include "CommandLine.h"
#include "HdrOptions.h"
#include "RecipeOptions.h"

#include "app/Settings.h"
#include "export/ExportFormats.h"
#include "imageio/ImageFile.h"
#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"

#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <cstdio>

namespace lumora::cli {
namespace {

const char* const kUsage =
    "usage: lumora-cli frame MEDIA... --index N -o OUT [--bits 8|10|16|32] [--peak NITS]\n"
    "       [--transfer pq|hlg]\n"
    "Writes frame N of a video, of a burst (a folder, or several photo files) or of a "
    "single photo (N = 0) to\n"
    "OUT, with the source's EXIF data. The format follows OUT's extension: jpg, hdr, "
    "tif, psd, bmp, exr or avif;\n"
    "--bits defaults to the format's usual depth. In exr and avif the frame's white is "
    "diffuse white (203 nits).\n"
    "--no-recipe: do not write the recipe OUT-NAME.lumora.json beside OUT (for 'lumora-cli render "
    "--recipe').";

// "8, 16 or 32": the depths a format offers, ascending.
QString depthList(const ExportFormat& format) {
    const std::vector<int> depths = format.sortedDepths();
    QString text;
    for (std::size_t k = 0; k < depths.size(); ++k)
        text += (k == 0                   ? QString()
                 : k + 1 == depths.size() ? QStringLiteral(" or ")
                                          : QStringLiteral(", ")) +
                QString::number(depths[k]);
    return text;
}

struct Frame {
    cv::Mat image;
    std::string exifSource;
    std::string problem; // why there is no image
    // What the recipe records: the sources (filled in by the reader, which has them at hand).
    Recipe recipe;
    std::string recipeProblem;
};

// Frame `index` of an opened sequence; the EXIF source is the video, or the burst file of that frame.
Frame frameOf(ImagesSequence& sequence, int index, const char* what) {
    Frame frame;
    if (!sequence.ready()) {
        frame.problem = std::string("cannot open the ") + what;
    } else if (index >= sequence.frameCount()) {
        frame.problem =
            std::string("the ") + what + " has " + std::to_string(sequence.frameCount()) + " frames";
    } else {
        frame.image = sequence.getCvImageAt(index, false, true, false);
        frame.exifSource = sequence.sourceFileOf(index);
        frame.recipeProblem = startRecipe(sequence, QString(), 0, HdrChoices{}, &frame.recipe).reason();
    }
    return frame;
}

Frame readFrame(const std::vector<std::string>& media, int index) {
    const std::string& first = media.front();
    Frame frame;
    std::vector<std::string> burst = media.size() > 1 ? media : std::vector<std::string>();
    if (media.size() == 1 && QFileInfo(QString::fromStdString(first)).isDir()) {
        burst = burstFilesInFolder(first);
        if (burst.empty()) {
            frame.problem = "no photos in the folder " + first;
            return frame;
        }
    }
    if (!burst.empty()) {
        ImagesSequence sequence(burst);
        frame = frameOf(sequence, index, "burst");
    } else if (hasVideoExtension(first)) {
        ImagesSequence video(first);
        frame = frameOf(video, index, "video");
    } else if (index != 0) {
        frame.problem = "a single photo has only frame 0";
        return frame;
    } else {
        frame.image = readImage(first);
        frame.exifSource = first;
        frame.recipeProblem = startImageRecipe(first, QString(), 0, HdrChoices{}, &frame.recipe).reason();
    }
    if (frame.image.empty() && frame.problem.empty())
        frame.problem = "frame " + std::to_string(index) + " cannot be read";
    return frame;
}

} // namespace

int runFrame(const QStringList& args) {
    CommandLine line("frame");
    line.addValued({QStringLiteral("index"), QStringLiteral("o"), QStringLiteral("bits")});
    addHdrOptions(line);
    addRecipeOption(line);
    const QByteArray help = QByteArray(kUsage) + '\n' + kHdrOptionsHelp;
    if (const std::optional<int> status = line.parse(args, help.constData()))
        return *status;
    const std::optional<int> index = line.frameIndex();
    if (!index)
        return 2;
    const std::optional<int> bits = line.oneOf(QStringLiteral("bits"), 0, {8, 10, 16, 32},
                                               QStringLiteral("--bits takes 8, 10, 16 or 32"));
    HdrChoices hdr;
    if (!bits || !readHdrOptions(line, hdr))
        return 2;
    const std::vector<std::string> media = line.media();
    const QString out = line.value(QStringLiteral("o"));
    if (media.empty())
        return line.usageError(QStringLiteral("missing MEDIA"));
    if (*index < 0)
        return line.usageError(QStringLiteral("missing --index"));
    if (out.isEmpty())
        return line.usageError(QStringLiteral("missing -o OUT"));

    const int format = exportFormatIndexForSuffix(QFileInfo(out).suffix());
    if (format < 0)
        return line.usageError(QStringLiteral("OUT must end in .jpg, .hdr, .tif, .psd, .bmp, .exr or .avif"));
    const ExportFormat& chosen = exportFormats()[static_cast<std::size_t>(format)];
    const int depth = *bits == 0 ? chosen.defaultDepth() : *bits;
    if (!chosen.offersDepth(depth))
        return line.usageError(
            QStringLiteral("%1 files are written at %2 bits only")
                .arg(QLatin1String(chosen.extension))
                .arg(chosen.asksForDepth() ? depthList(chosen) : QString::number(chosen.defaultDepth())));

    const Frame frame = readFrame(media, *index);
    if (frame.image.empty()) {
        std::fprintf(stderr, "lumora-cli frame: %s\n", frame.problem.c_str());
        return 1;
    }
    ExportPicture picture;
    picture.image = frame.image;
    const int jpegQuality = settings::read(settings::JPGQuality);
    const WriteResult written = exportPicture(out.toStdString(), picture, depth, hdr,
                                              exifSourceForFormat(format, frame.exifSource), jpegQuality);
    if (!written.ok) {
        std::fprintf(stderr, "lumora-cli frame: %s\n", written.error.c_str());
        return 1;
    }
    if (!written.exifWarning.empty())
        std::fprintf(stderr, "lumora-cli frame: warning: EXIF not copied: %s\n", written.exifWarning.c_str());
    std::printf("%s: frame %d, %dx%d, %d bits\n", out.toLocal8Bit().constData(), *index, frame.image.cols,
                frame.image.rows, depth);
    Recipe recipe = frame.recipe;
    recordFrame(&recipe, *index);
    recordOutput(&recipe, out, depth, hdr, jpegQuality);
    return finishRecipe(line, recipe, frame.recipeProblem, out);
}

} // namespace lumora::cli
