// bench_export: where the time of one `lumora-cli tonemap IN.hdr -o OUT.jpg` of a 12 MP light image goes.
// Runs the real program several times (the window's designed positions, sharpening on; then the operator
// sliders at 30), reads the time of each phase from its --json report (read, each stage of the render, depth
// conversion, encoding, writing the file, EXIF) and takes start-up and exit as what the whole process took
// beyond them. Prints min and median per phase, the process's peak memory, and luminance-hdr-cli's drago on
// the same file in the same run as a yardstick when it is installed.
//
// usage: bench_export [--image PHOTO] [--runs N] [--positions 0,30]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct Stats {
    double min = 0, median = 0;
};

Stats summarise(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    if (t.empty())
        return {};
    return {t.front(), t.size() % 2 ? t[t.size() / 2] : 0.5 * (t[t.size() / 2 - 1] + t[t.size() / 2])};
}

// A photograph made HDR: linear light by the 2.2 power, brightest sample at 1; a synthetic sky and ground
// when the photograph is missing.
cv::Mat lightImage(const std::string& photo) {
    cv::Mat img = cv::imread(photo, cv::IMREAD_COLOR);
    cv::Mat f;
    if (img.empty()) {
        f.create(3000, 4000, CV_32FC3);
        cv::RNG rng(5);
        rng.fill(f, cv::RNG::UNIFORM, 0.0, 0.01);
        f.rowRange(0, 1500) += cv::Scalar(0.3, 0.35, 0.4);
    } else {
        img.convertTo(f, CV_32F, 1.0 / 255.0);
        cv::pow(f, 2.2, f);
    }
    double maxV = 0;
    cv::minMaxLoc(f.reshape(1), nullptr, &maxV);
    return f / maxV;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one.empty() ? "?" : one;
}

// Phases in the order the program runs them; "start-up and exit" is the whole process minus their sum.
const char* const kPhases[] = {"read",
                               "ApplyRotation",
                               "ApplyCrop",
                               "ApplyToneMap",
                               "ApplyingSharpenning",
                               "ApplyingColorModifications",
                               "depth",
                               "encode",
                               "file",
                               "exif"};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string photo = "/usr/share/forensics-samples/original-files/pic2/IMG_20200608_111614.jpg";
    int runs = 3;
    QStringList positions{QStringLiteral("0"), QStringLiteral("30")};
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--image"))
            photo = args[++i].toStdString();
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--positions"))
            positions = args[++i].split(QLatin1Char(','));
    }
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("lumora-cli"));
    if (!QFileInfo(cli).isExecutable()) {
        std::fprintf(stderr, "bench_export: %s is not built\n", qPrintable(cli));
        return 1;
    }
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("light.hdr")),
                  out = dir.filePath(QStringLiteral("out.jpg"));
    const cv::Mat light = lightImage(photo);
    if (!cv::imwrite(in.toStdString(), light)) {
        std::fprintf(stderr, "bench_export: cannot write %s\n", qPrintable(in));
        return 1;
    }
    std::printf("bench_export: lumora-cli tonemap of a %dx%d light image (%s), %d runs per case, load %s\n",
                light.cols, light.rows,
                QFileInfo(QString::fromStdString(photo)).exists() ? photo.c_str() : "synthetic", runs,
                loadAverage().c_str());

    for (const QString& position : positions) {
        std::map<std::string, std::vector<double>> seconds;
        for (int r = 0; r < runs; ++r) {
            QProcess p;
            QElapsedTimer timer;
            timer.start();
            p.start(cli, {QStringLiteral("tonemap"), in, QStringLiteral("-o"), out, QStringLiteral("--alpha"),
                          position, QStringLiteral("--beta"), position, QStringLiteral("--json")});
            if (!p.waitForFinished(600000) || p.exitCode() != 0) {
                std::fprintf(stderr, "bench_export: lumora-cli failed: %s\n",
                             p.readAllStandardError().constData());
                return 1;
            }
            const double whole = static_cast<double>(timer.nsecsElapsed()) * 1e-9;
            const QJsonObject timings = QJsonDocument::fromJson(p.readAllStandardOutput())
                                            .object()
                                            .value(QStringLiteral("timings"))
                                            .toObject();
            double inside = 0;
            for (const char* phase : kPhases) {
                const double s = timings.value(QLatin1String(phase)).toDouble();
                seconds[phase].push_back(s);
                inside += s;
            }
            seconds["start-up and exit"].push_back(whole - inside);
            seconds["whole process"].push_back(whole);
        }
        rusage children{};
        getrusage(RUSAGE_CHILDREN, &children);
        std::printf("\noperator sliders at %s (default preset, sharpening on)\n", qPrintable(position));
        std::printf("  %-28s %9s %9s\n", "phase", "min s", "median s");
        for (const char* phase : {"start-up and exit"})
            std::printf("  %-28s %9.3f %9.3f\n", phase, summarise(seconds[phase]).min,
                        summarise(seconds[phase]).median);
        for (const char* phase : kPhases)
            std::printf("  %-28s %9.3f %9.3f\n", phase, summarise(seconds[phase]).min,
                        summarise(seconds[phase]).median);
        const Stats whole = summarise(seconds["whole process"]);
        std::printf("  %-28s %9.3f %9.3f\n", "whole process", whole.min, whole.median);
        std::printf("  peak memory of the process so far: %.0f MB\n",
                    static_cast<double>(children.ru_maxrss) / 1024.0);
    }

    const QString peer = QStandardPaths::findExecutable(QStringLiteral("luminance-hdr-cli"));
    if (peer.isEmpty()) {
        std::printf("\nluminance-hdr-cli not installed: no yardstick\n");
        return 0;
    }
    std::vector<double> peerSeconds;
    for (int r = 0; r < runs; ++r) {
        QProcess p;
        QElapsedTimer timer;
        timer.start();
        p.start(peer, {QStringLiteral("-l"), in, QStringLiteral("--tmo"), QStringLiteral("drago"),
                       QStringLiteral("-o"), dir.filePath(QStringLiteral("peer.jpg"))});
        if (!p.waitForFinished(600000) || p.exitCode() != 0)
            break;
        peerSeconds.push_back(static_cast<double>(timer.nsecsElapsed()) * 1e-9);
    }
    const Stats p = summarise(peerSeconds);
    std::printf("\nyardstick: luminance-hdr-cli --tmo drago on the same file: min %.3f s, median %.3f s\n",
                p.min, p.median);
    return 0;
}
