// lumora-cli's start and its report of where the time goes: a bare start of the program or of the decoding
// helper loads neither the image codecs and libraries nor libav, and --json accounts for the whole run, phase
// by phase.

#include "TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace lumora;

// Libraries that only some runs need, each loaded on first use: none may be loaded by a bare start.
const char* const kLoadedOnUse[] = {"libopencv_imgcodecs",
                                    "libopencv_videoio",
                                    "libopencv_video.",
                                    "libopencv_dnn",
                                    "libavformat",
                                    "libavcodec",
                                    "libgdal",
                                    "libfreeimage",
                                    "libIL.",
                                    "libheif",
                                    "libraw",
                                    "libOpenEXR",
                                    "liblumora_"};

// The libraries the dynamic loader names in a trace it was asked for (LD_DEBUG=libs) that it should not have
// loaded.
std::vector<std::string> loadedOnUse(const QByteArray& trace) {
    std::vector<std::string> found;
    for (const char* library : kLoadedOnUse)
        if (trace.contains(library))
            found.push_back(library);
    return found;
}

TEST(CliStart, NeitherTheProgramNorTheDecodingHelperLoadsImageLibrariesOrLibavAtStart) {
    for (const auto& [program, argument] :
         {std::pair{"lumora-cli", "--version"}, std::pair{"lumora-decode", "--check"}}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("libs"));
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(test::binDir() + "/" + program), {QLatin1String(argument)});
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << program;
        const QByteArray trace = process.readAllStandardError();
        ASSERT_TRUE(trace.contains("libQt5Core")) << "the loader printed no trace";
        EXPECT_EQ(loadedOnUse(trace), std::vector<std::string>{}) << program << " loads them at start";
    }
}

TEST(CliStart, JsonPhasesAddUpToNoMoreThanTheTotalAndALightImageToJpegLoadsNoImageLibrary) {
    QTemporaryDir home, work;
    cv::Mat light(48, 64, CV_32FC3);
    cv::randu(light, 0.f, 4.f);
    const QString in = work.filePath(QStringLiteral("light.hdr"));
    ASSERT_TRUE(cv::imwrite(in.toStdString(), light));
    // The loader's trace of lumora-cli and its decoding helper: a light image read by Lumora's own reader and
    // written as a JPEG by its own writer needs none of the libraries loaded on use.
    qputenv("LD_DEBUG", "libs");
    const test::CliRun run =
        test::runCli({QStringLiteral("tonemap"), in, QStringLiteral("-o"),
                      work.filePath(QStringLiteral("out.jpg")), QStringLiteral("--json")},
                     home.path());
    qunsetenv("LD_DEBUG");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(loadedOnUse(run.err), std::vector<std::string>{});
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
