// lumora-cli's start and its report of where the time goes: a bare start loads neither the image codecs nor
// libav, and --json accounts for the whole run, phase by phase.

#include "TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace {

using namespace lumora;

TEST(CliStart, VersionLoadsNeitherTheImageCodecsNorLibav) {
    // The dynamic loader names every library it starts when asked to.
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("libs"));
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(test::binDir()) + QStringLiteral("/lumora-cli"),
                  {QStringLiteral("--version")});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0);
    const QByteArray trace = process.readAllStandardError();
    ASSERT_TRUE(trace.contains("libQt5Core")) << "the loader printed no trace";
    for (const char* heavy :
         {"libopencv_imgcodecs", "libopencv_videoio", "libavformat", "libavcodec", "libgdal"})
        EXPECT_FALSE(trace.contains(heavy)) << heavy << " is loaded at start";
}

TEST(CliStart, JsonPhasesAddUpToNoMoreThanTheTotal) {
    QTemporaryDir home, work;
    cv::Mat light(48, 64, CV_32FC3);
    cv::randu(light, 0.f, 4.f);
    const QString in = work.filePath(QStringLiteral("light.hdr"));
    ASSERT_TRUE(cv::imwrite(in.toStdString(), light));
    const test::CliRun run =
        test::runCli({QStringLiteral("tonemap"), in, QStringLiteral("-o"),
                      work.filePath(QStringLiteral("out.jpg")), QStringLiteral("--json")},
                     home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject timings =
        QJsonDocument::fromJson(run.out).object().value(QStringLiteral("timings")).toObject();
    // Every phase from the loading of the program to exiftool's end, each counted once.
    for (const char* phase : {"load", "setup", "exiftoolStart", "read", "ApplyToneMap", "encode", "file",
                              "exif", "exiftoolStop", "total"})
        EXPECT_TRUE(timings.contains(QLatin1String(phase))) << phase;
    double sum = 0;
    for (auto it = timings.begin(); it != timings.end(); ++it) {
        EXPECT_GE(it.value().toDouble(-1), 0.0) << it.key().toStdString();
        if (it.key() != QLatin1String("total"))
            sum += it.value().toDouble();
    }
    EXPECT_LE(sum, timings.value(QStringLiteral("total")).toDouble() * (1 + 1e-9));
}

} // namespace
