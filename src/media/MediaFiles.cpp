#include "media/MediaFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace lumora {

const std::vector<std::string>& stillImageExtensions() {
    static const std::vector<std::string> list{
        "tif", "jpg", "png", "psd", "bmp", "hdr", "exr", "heic", "heif", "hif", "avif", "3fr", "ari",
        "arw", "bay", "crw", "cr2", "cap", "dcs", "dcr", "dng",  "drf",  "eip", "erf",  "fff", "iiq",
        "k25", "kdc", "mdc", "mef", "mos", "mrw", "nef", "nrw",  "obm",  "orf", "pef",  "ptx", "pxn",
        "r3d", "raf", "raw", "rwl", "rw2", "rwz", "sr2", "srf",  "srw",  "x3f"};
    return list;
}

const std::vector<std::string>& videoExtensions() {
    static const std::vector<std::string> list{"avi", "mov", "mp4", "mpg", "mpeg",
                                               "wmv", "mkv", "mts", "mxf"};
    return list;
}

std::string lowerSuffix(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).suffix().toLower().toStdString();
}

namespace {
bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}
} // namespace

bool hasStillImageExtension(const std::string& path) {
    return contains(stillImageExtensions(), lowerSuffix(path));
}

bool hasVideoExtension(const std::string& path) {
    return contains(videoExtensions(), lowerSuffix(path));
}

std::vector<std::string> sortedBurstFiles(std::vector<std::string> files) {
    // Byte order of UTF-8 paths is code-point order: case-sensitive, upper case before lower case.
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> burstFilesInFolder(const std::string& folder) {
    const QDir dir(QString::fromStdString(folder));
    std::vector<std::string> files;
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Files | QDir::Readable)) {
        const std::string path = entry.absoluteFilePath().toStdString();
        if (hasStillImageExtension(path))
            files.push_back(path);
    }
    return sortedBurstFiles(std::move(files));
}

} // namespace lumora
