#pragma once
// Helpers of the media tests: references decoded independently of the code under test (OpenCV's sequential
// reader), frame fingerprints, fixed shuffles and clips re-muxed with ffmpeg.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace lumora::test {

// FNV-1a over the pixel rows and the frame's size and type: equal fingerprints mean identical frames.
inline uint64_t frameFingerprint(const cv::Mat& frame) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const unsigned char* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            h ^= p[i];
            h *= 1099511628211ull;
        }
    };
    const int header[3] = {frame.rows, frame.cols, frame.type()};
    mix(reinterpret_cast<const unsigned char*>(header), sizeof header);
    for (int y = 0; y < frame.rows; ++y)
        mix(frame.ptr(y), frame.cols * frame.elemSize());
    return h;
}

// Every frame of a video as OpenCV's reader delivers it read after read from the start.
struct SequentialReference {
    std::vector<uint64_t> fingerprints;
    double listedFrameCount = 0; // what the container claims
};

inline SequentialReference decodeSequentially(const std::string& path) {
    SequentialReference ref;
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    if (!capture.isOpened())
        return ref;
    ref.listedFrameCount = capture.get(cv::CAP_PROP_FRAME_COUNT);
    cv::Mat frame;
    while (capture.read(frame))
        ref.fingerprints.push_back(frameFingerprint(frame));
    return ref;
}

// 0..n-1 in a fixed pseudo-random order.
inline std::vector<int> shuffledIndices(int n, unsigned seed) {
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    return order;
}

// Runs ffmpeg with the arguments given; false when ffmpeg is missing or fails.
inline bool runFfmpeg(const QStringList& args) {
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return false;
    QProcess process;
    process.start(ffmpeg, QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                      QStringLiteral("error"), QStringLiteral("-y")} +
                              args);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The byte offset and size of video packet `index` of a file in file order (-1: the last one), from ffprobe;
// false when ffprobe is missing or fails.
inline bool videoPacket(const QString& path, int index, qint64* offset, qint64* size) {
    const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    if (ffprobe.isEmpty())
        return false;
    QProcess process;
    process.start(ffprobe,
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                   QStringLiteral("v:0"), QStringLiteral("-show_entries"), QStringLiteral("packet=pos,size"),
                   QStringLiteral("-of"), QStringLiteral("default=nw=1"), path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return false;
    std::vector<std::pair<qint64, qint64>> packets; // (offset, size)
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("size="))
            packets.emplace_back(-1, line.mid(5).toLongLong());
        else if (line.startsWith("pos=") && !packets.empty())
            packets.back().first = line.mid(4).toLongLong();
    }
    if (packets.empty() || index >= static_cast<int>(packets.size()))
        return false;
    const auto& p = packets[index < 0 ? packets.size() - 1 : static_cast<size_t>(index)];
    *offset = p.first;
    *size = p.second;
    return *offset > 0 && *size > 0;
}

// Copies `source` to `target` with the bytes of video packet `index` (-1: the last) set to zero.
inline bool copyWithZeroedPacket(const QString& source, const QString& target, int index) {
    qint64 offset = 0, size = 0;
    if (!QFile::copy(source, target) || !videoPacket(target, index, &offset, &size))
        return false;
    QFile file(target);
    return file.open(QIODevice::ReadWrite) && file.seek(offset) &&
           file.write(QByteArray(static_cast<int>(size), '\0')) == size;
}

} // namespace lumora::test
