#include "CliCommands.h"
#include "HdrOptions.h"

#include "app/Settings.h"
#include "export/ExportFormats.h"
#include "imageio/ImageFile.h"
#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"

#include <QFileInfo>
#include <algorithm>
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
    "diffuse white (203 nits).";

int usageError(const QString& message) {
    std::fprintf(stderr, "lumora-cli frame: %s (see --help)\n", message.toLocal8Bit().constData());
    return 2;
}

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
    }
    if (frame.image.empty() && frame.problem.empty())
        frame.problem = "frame " + std::to_string(index) + " cannot be read";
    return frame;
}

} // namespace

int runFrame(const QStringList& args) {
    std::vector<std::string> media;
    QString out;
    int index = -1;
    int bits = 0;
    HdrChoices hdr;
    QString error;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const OptionParse h = parseHdrOption(args, i, hdr, &error);
        if (h == OptionParse::Error)
            return usageError(error);
        if (h == OptionParse::Taken)
            continue;
        if (a == QLatin1String("--help")) {
            std::printf("%s\n%s\n", kUsage, kHdrOptionsHelp);
            return 0;
        } else if (a == QLatin1String("--index") && hasValue) {
            bool ok = false;
            index = args[++i].toInt(&ok);
            if (!ok || index < 0)
                return usageError(QStringLiteral("--index takes a frame number from 0"));
        } else if (a == QLatin1String("-o") && hasValue) {
            out = args[++i];
        } else if (a == QLatin1String("--bits") && hasValue) {
            bits = args[++i].toInt();
            if (bits != 8 && bits != 10 && bits != 16 && bits != 32)
                return usageError(QStringLiteral("--bits takes 8, 10, 16 or 32"));
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
    if (out.isEmpty())
        return usageError(QStringLiteral("missing -o OUT"));

    const int format = exportFormatIndexForSuffix(QFileInfo(out).suffix());
    if (format < 0)
        return usageError(QStringLiteral("OUT must end in .jpg, .hdr, .tif, .psd, .bmp, .exr or .avif"));
    const ExportFormat& chosen = exportFormats()[static_cast<std::size_t>(format)];
    if (bits == 0)
        bits = chosen.defaultDepth();
    if (!chosen.offersDepth(bits))
        return usageError(
            QStringLiteral("%1 files are written at %2 bits only")
                .arg(QLatin1String(chosen.extension))
                .arg(chosen.asksForDepth() ? depthList(chosen) : QString::number(chosen.defaultDepth())));

    const Frame frame = readFrame(media, index);
    if (frame.image.empty()) {
        std::fprintf(stderr, "lumora-cli frame: %s\n", frame.problem.c_str());
        return 1;
    }
    ExportPicture picture;
    picture.image = frame.image;
    const WriteResult written =
        exportPicture(out.toStdString(), picture, bits, hdr, exifSourceForFormat(format, frame.exifSource),
                      settings::read(settings::JPGQuality));
    if (!written.ok) {
        std::fprintf(stderr, "lumora-cli frame: %s\n", written.error.c_str());
        return 1;
    }
    if (!written.exifWarning.empty())
        std::fprintf(stderr, "lumora-cli frame: warning: EXIF not copied: %s\n", written.exifWarning.c_str());
    std::printf("%s: frame %d, %dx%d, %d bits\n", out.toLocal8Bit().constData(), index, frame.image.cols,
                frame.image.rows, bits);
    return 0;
}

} // namespace lumora::cli
