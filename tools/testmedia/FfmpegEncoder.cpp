#include "FfmpegEncoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace lumora::testmedia {

FfmpegEncoder::FfmpegEncoder(QString outputPath, cv::Size frameSize, int fps, QStringList codecArgs,
                             QString container, int timeoutMs, bool deepInput)
    : outputPath_(QFileInfo(outputPath).absoluteFilePath()), frameSize_(frameSize), fps_(fps),
      codecArgs_(std::move(codecArgs)), container_(std::move(container)), timeoutMs_(timeoutMs),
      deepInput_(deepInput) {
    const QFileInfo info(outputPath_);
    tempPath_ =
        info.absoluteDir().filePath(QStringLiteral(".") + info.fileName() + QStringLiteral(".partial"));
}

FfmpegEncoder::~FfmpegEncoder() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    if (!done_)
        QFile::remove(tempPath_);
}

bool FfmpegEncoder::fail(const QString& message) {
    // Keep the report to one line: the caller prints it as the program's single error line.
    QString detail;
    if (started_)
        detail = QString::fromLocal8Bit(process_.readAllStandardError()).trimmed();
    detail = detail.section(QLatin1Char('\n'), -1).trimmed();
    error_ = QFileInfo(outputPath_).fileName() + QStringLiteral(": ") + message;
    if (!detail.isEmpty())
        error_ += QStringLiteral(" (ffmpeg: ") + detail + QLatin1Char(')');
    return false;
}

qint64 FfmpegEncoder::remainingMs() const {
    return std::max<qint64>(0, deadline_.remainingTime());
}

bool FfmpegEncoder::start() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (program.isEmpty())
        return fail(QStringLiteral("ffmpeg not found on PATH"));
    QFile::remove(tempPath_);

    QStringList args{
        QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
        QStringLiteral("error"),        QStringLiteral("-y"),
        QStringLiteral("-f"),           QStringLiteral("rawvideo"),
        QStringLiteral("-pix_fmt"),     deepInput_ ? QStringLiteral("bgr48le") : QStringLiteral("bgr24"),
        QStringLiteral("-s"),           QStringLiteral("%1x%2").arg(frameSize_.width).arg(frameSize_.height),
        QStringLiteral("-r"),           QString::number(fps_),
        QStringLiteral("-i"),           QStringLiteral("pipe:0")};
    args += codecArgs_;
    // Drop creation times and tool versions from the container so reruns give identical files.
    args += {QStringLiteral("-map_metadata"), QStringLiteral("-1"), QStringLiteral("-fflags"),
             QStringLiteral("+bitexact"),     QStringLiteral("-f"), container_};
    // ffmpeg has no "--"; the file: protocol prefix keeps the path from being read as an option or a URL.
    args << QStringLiteral("file:") + tempPath_;

    deadline_ = QDeadlineTimer(timeoutMs_);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(program, args);
    started_ = true;
    if (!process_.waitForStarted(static_cast<int>(std::min<qint64>(remainingMs(), 30000))))
        return fail(QStringLiteral("could not start ffmpeg"));
    return true;
}

bool FfmpegEncoder::writeFrame(const cv::Mat& bgr) {
    if (bgr.type() != (deepInput_ ? CV_16UC3 : CV_8UC3) || bgr.size() != frameSize_)
        return fail(QStringLiteral("internal error: frame of wrong size or type"));
    const cv::Mat frame = bgr.isContinuous() ? bgr : bgr.clone(); // little-endian, as bgr48le expects
    const qint64 bytes = static_cast<qint64>(frame.total() * frame.elemSize());
    if (process_.write(reinterpret_cast<const char*>(frame.data), bytes) != bytes)
        return fail(QStringLiteral("writing to ffmpeg failed"));
    // Wait for the pipe to drain so that at most one frame is buffered and a stalled ffmpeg is noticed.
    while (process_.bytesToWrite() > 0) {
        if (process_.state() != QProcess::Running)
            return fail(QStringLiteral("ffmpeg exited while receiving frames"));
        if (remainingMs() == 0)
            return fail(QStringLiteral("timed out while encoding"));
        if (!process_.waitForBytesWritten(static_cast<int>(remainingMs())) && process_.bytesToWrite() > 0 &&
            process_.state() != QProcess::Running)
            return fail(QStringLiteral("ffmpeg exited while receiving frames"));
    }
    return true;
}

bool FfmpegEncoder::finish() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(static_cast<int>(remainingMs()))) {
        process_.kill();
        process_.waitForFinished(5000);
        return fail(QStringLiteral("timed out waiting for ffmpeg to finish"));
    }
    if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0)
        return fail(QStringLiteral("ffmpeg failed with exit code %1").arg(process_.exitCode()));
    if (QFileInfo(tempPath_).size() <= 0)
        return fail(QStringLiteral("ffmpeg produced no output"));
    QFile::remove(outputPath_);
    if (!QFile::rename(tempPath_, outputPath_))
        return fail(QStringLiteral("could not move the encoded file into place"));
    done_ = true;
    return true;
}

} // namespace lumora::testmedia
