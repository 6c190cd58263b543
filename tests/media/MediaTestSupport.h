#pragma once
// Helpers of the media tests: references decoded independently of the code under test (the ffmpeg tool's
// sequential decode, which applies the colour tags), frame fingerprints, fixed shuffles and clips re-muxed
// with ffmpeg.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cctype>
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

// Every frame of a video as the ffmpeg tool delivers it decoding from the start, converted to BGR with the
// matrix and range the tags state. OpenCV's reader would ignore the tags; it only says how many frames the
// container lists.
struct SequentialReference {
    std::vector<uint64_t> fingerprints;
    double listedFrameCount = 0; // what the container claims
};

// The filter that makes the ffmpeg tool read an untagged clip as players (and Lumora) do: BT.709 from HD up.
inline QString untaggedHdFilter(const std::string& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                 QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=width,height,color_space"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), QString::fromStdString(path)});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return {};
    const QList<QByteArray> f = probe.readAllStandardOutput().trimmed().split(',');
    const bool untagged = f.size() < 3 || f[2].isEmpty() || f[2] == "unknown";
    const bool hd = f.size() >= 2 && (f[0].toInt() >= 1280 || f[1].toInt() >= 720);
    return untagged && hd ? QStringLiteral("scale=in_color_matrix=bt709") : QString();
}

inline SequentialReference decodeSequentially(const std::string& path) {
    SequentialReference ref;
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    if (capture.isOpened())
        ref.listedFrameCount = capture.get(cv::CAP_PROP_FRAME_COUNT);
    QStringList args{
        QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),  QStringLiteral("error"),
        QStringLiteral("-i"),           QString::fromStdString(path), QStringLiteral("-map"),
        QStringLiteral("0:v:0"),        QStringLiteral("-fps_mode"),  QStringLiteral("passthrough")};
    const QString filter = untaggedHdFilter(path);
    if (!filter.isEmpty())
        args << QStringLiteral("-vf") << filter;
    args << QStringLiteral("-c:v") << QStringLiteral("ppm") << QStringLiteral("-f")
         << QStringLiteral("image2pipe") << QStringLiteral("pipe:1");
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::SeparateChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForStarted(30000))
        return ref;
    // PPM pictures one after another ("P6\n<w> <h>\n255\n" and RGB rows), taken as they arrive.
    QByteArray buffer;
    auto takeFrames = [&] {
        for (;;) {
            int at = 0, fields[3] = {0, 0, 0};
            if (!buffer.startsWith("P6"))
                return;
            at = 2;
            for (int& field : fields) {
                while (at < buffer.size() && std::isspace(static_cast<unsigned char>(buffer[at])))
                    ++at;
                const int start = at;
                while (at < buffer.size() && std::isdigit(static_cast<unsigned char>(buffer[at])))
                    ++at;
                if (at == start || at >= buffer.size())
                    return;
                field = buffer.mid(start, at - start).toInt();
            }
            const int header = at + 1;
            const int bytes = fields[0] * fields[1] * 3;
            if (buffer.size() < header + bytes)
                return;
            cv::Mat rgb(fields[1], fields[0], CV_8UC3, buffer.data() + header), bgr;
            cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
            ref.fingerprints.push_back(frameFingerprint(bgr));
            buffer.remove(0, header + bytes);
        }
    };
    while (ffmpeg.state() != QProcess::NotRunning || ffmpeg.bytesAvailable() > 0) {
        ffmpeg.waitForReadyRead(1000);
        buffer += ffmpeg.readAllStandardOutput();
        takeFrames();
    }
    buffer += ffmpeg.readAllStandardOutput();
    takeFrames();
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
