#pragma once
// Streams raw 8-bit (or 16-bit) BGR frames into an ffmpeg child process that encodes them into one video
// file. The file is written under a temporary name beside the target and only renamed into place when ffmpeg
// exits cleanly.

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

namespace lumora::testmedia {

class FfmpegEncoder {
public:
    // codecArgs: encoder options placed after the input (e.g. "-c:v", "libx264", "-crf", "12").
    // container: ffmpeg muxer name ("mp4", "avi"); named explicitly because the temporary file name carries
    // no meaningful extension. timeoutMs bounds the whole encode, from start() to finish().
    // deepInput: frames are 16-bit BGR.
    FfmpegEncoder(QString outputPath, cv::Size frameSize, int fps, QStringList codecArgs, QString container,
                  int timeoutMs, bool deepInput = false);
    ~FfmpegEncoder();
    FfmpegEncoder(const FfmpegEncoder&) = delete;
    FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;

    bool start();
    bool writeFrame(const cv::Mat& bgr);
    // Closes the input, waits for ffmpeg, checks its exit status and moves the file into place.
    bool finish();
    const QString& error() const { return error_; }

private:
    bool fail(const QString& message);
    qint64 remainingMs() const;

    QString outputPath_;
    QString tempPath_;
    cv::Size frameSize_;
    int fps_;
    QStringList codecArgs_;
    QString container_;
    int timeoutMs_;
    bool deepInput_;
    QProcess process_;
    QDeadlineTimer deadline_;
    bool started_ = false;
    bool done_ = false;
    QString error_;
};

} // namespace lumora::testmedia
