#include "imageio/ExifCopy.h"

#include "app/ProcessRunner.h"
#include "imageio/ExifToolSession.h"
#include "imageio/LibraryAdapters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <array>

namespace lumora {
namespace {

QString absoluteNative(const std::string& path) {
    return QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath();
}

} // namespace

bool isVideoFile(const std::string& path) {
    static const std::array<const char*, 11> kVideo = {"avi", "mov", "mp4", "mpg", "mpeg", "wmv",
                                                       "mkv", "mts", "mxf", "m4v", "3gp"};
    const std::string ext = imageio::lowerExtension(path);
    for (const char* e : kVideo)
        if (ext == e)
            return true;
    return false;
}

ExifCopyResult copyExif(const std::string& source, const std::string& destination,
                        const std::string& keywords, const ExifCopyOptions& options) {
    ExifCopyResult result;
    const QString program = findHelperProgram(QStringLiteral("exiftool"));
    if (program.isEmpty()) {
        result.error = "exiftool was not found beside the program or on PATH";
        return result;
    }
    QString src = absoluteNative(source);
    const QString dst = absoluteNative(destination);
    if (!QFileInfo(src).isFile()) {
        result.error = "EXIF source " + source + " does not exist";
        return result;
    }

    // exiftool reads '%' in a source name as a file-name pattern (%d, %f...), and its own escape is not
    // reliable across versions; such a source is handed over through a link with a plain name instead.
    QTemporaryDir linkDir;
    if (src.contains(QLatin1Char('%'))) {
        const QString suffix = QFileInfo(src).suffix().remove(QLatin1Char('%'));
        const QString link = linkDir.path() + QStringLiteral("/source") +
                             (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
        if (!linkDir.isValid() || !QFile::link(src, link)) {
            result.error = "cannot prepare a link to the EXIF source " + source;
            return result;
        }
        src = link;
    }

    // Absolute paths never start with '-', so neither can be taken for an option; "--" ends the options
    // anyway.
    QStringList args{QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                     QStringLiteral("-tagsfromfile"), src};
    if (isVideoFile(source)) {
        // Videos store the position as signed coordinates; copied alone, EXIF's unsigned values lose their
        // hemisphere. Naming tags switches off the implicit copy of everything, hence "-all" (which, unlike
        // "-all:all", still maps the video's dates to their EXIF equivalents).
        args << QStringLiteral("-all") << QStringLiteral("-GPSLatitudeRef<Composite:GPSLatitude")
             << QStringLiteral("-GPSLongitudeRef<Composite:GPSLongitude");
    }
    if (options.pixelsAlreadyOriented)
        args << QStringLiteral("--Orientation");
    if (!keywords.empty())
        args << QStringLiteral("-keywords+=") + QString::fromStdString(keywords);
    args << QStringLiteral("-Firmware=Lumora");

    // exiftool's work file; removed after a failure only when this run made it.
    const QString workFile = dst + QStringLiteral("_exiftool_tmp");
    const bool workFileExisted = QFileInfo::exists(workFile);

    // A running session takes the command at once; its command file has no "--", and needs none: the paths
    // are absolute.
    ProcessOutcome run;
    ExifToolSession* session = ExifToolSession::current();
    if (!session || !session->run(args + QStringList{dst}, options.timeoutMs, &run))
        run = runProcess(program, args << QStringLiteral("--") << dst, options.timeoutMs, true);
    if (!workFileExisted && QFileInfo::exists(workFile))
        QFile::remove(workFile);
    if (!run.succeeded()) {
        result.error = run.error;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace lumora
