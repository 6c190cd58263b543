// Camera raw files are developed by the dcraw program, which writes a 16-bit TIFF to its standard output; the
// TIFF is decoded in memory, so nothing is ever written next to the user's raw file.

#include "app/EventLog.h"
#include "app/ProcessRunner.h"
#include "imageio/CodecModule.h"
#include "imageio/ImageFile.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace lumora {
namespace {

constexpr std::array<const char*, 38> kRawExtensions = {
    "3fr", "ari", "arw", "bay", "crw", "cr2", "cap", "dcs", "dcr", "dng", "drf", "eip", "erf",
    "fff", "iiq", "k25", "kdc", "mdc", "mef", "mos", "mrw", "nef", "nrw", "obm", "orf", "pef",
    "ptx", "pxn", "r3d", "raf", "raw", "rwl", "rw2", "rwz", "sr2", "srf", "srw", "x3f"};

// A full-quality decode of a large sensor takes a few seconds; a hung decoder must not hold a worker forever.
constexpr int kDecodeTimeoutMs = 5 * 60 * 1000;

} // namespace

bool isRawFile(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return std::any_of(kRawExtensions.begin(), kRawExtensions.end(), [&](const char* e) { return ext == e; });
}

cv::Mat decodeRaw(const std::string& path, bool preview) {
    const QString program = findHelperProgram(QStringLiteral("dcraw"));
    if (program.isEmpty()) {
        logError("decodeRaw", "dcraw was not found beside the program or on PATH; cannot read " + path);
        return {};
    }
    // dcraw has no end-of-options marker; an absolute path never starts with '-', so it cannot pass for an
    // option.
    const QString absolute = QFileInfo(QString::fromLocal8Bit(path.c_str())).absoluteFilePath();
    QStringList args{QStringLiteral("-T"),  QStringLiteral("-w"),    QStringLiteral("-6"),
                     QStringLiteral("-o"),  QStringLiteral("3"),     QStringLiteral("-g"),
                     QStringLiteral("2.4"), QStringLiteral("12.92"), QStringLiteral("-H"),
                     QStringLiteral("5")};
    if (preview)
        args << QStringLiteral("-q") << QStringLiteral("0") << QStringLiteral("-h");
    else
        args << QStringLiteral("-q") << QStringLiteral("3");
    args << QStringLiteral("-c") << absolute;

    const ProcessOutcome run = runProcess(program, args, kDecodeTimeoutMs);
    if (!run.succeeded() || run.standardOutput.isEmpty()) {
        logError("decodeRaw", path + ": " + (run.error.empty() ? "dcraw produced no image" : run.error));
        return {};
    }

    std::string why;
    const imageio::codecs::Api* codec = imageio::codecs::api(&why);
    if (!codec) {
        logError("decodeRaw", path + ": " + why);
        return {};
    }
    const cv::Mat decoded =
        codec->decode(reinterpret_cast<const unsigned char*>(run.standardOutput.constData()),
                      static_cast<size_t>(run.standardOutput.size()));
    if (decoded.empty() || decoded.depth() != CV_16U || decoded.channels() != 3) {
        logError("decodeRaw", path + ": dcraw's output is not a 16-bit colour image");
        return {};
    }
    // Developed images always have an even width: an odd last column is dropped.
    const int evenWidth = decoded.cols & ~1;
    if (evenWidth == 0)
        return {};
    // imdecode already hands colour TIFFs back in BGR order.
    return evenWidth == decoded.cols ? decoded : decoded.colRange(0, evenWidth).clone();
}

} // namespace lumora
