// Speed of operators 1, 2 and 4 at 1 MP and 12 MP against luminance-hdr-cli's drago and durand operators run
// on the same image in the same run (whole process: load, tone map, save), and the error of the fast
// bilateral filter against the direct sum at the 60-pixel spatial sigma of a 3000-row image.

#include "tonemap/BilateralFilter.h"
#include "tonemap/LayerProcessing.h"
#include "tonemap/ToneMapParams.h"
#include "tonemap/ToneMappingBase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

struct Timing {
    double min = 0, median = 0;
    bool ok = false;
};

Timing measure(int runs, const std::function<bool()>& once) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!once())
            return {};
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2], true};
}

void print(const char* what, const Timing& t, const Timing& peer, const char* peerName) {
    if (!t.ok) {
        std::printf("%-34s failed\n", what);
        return;
    }
    std::printf("%-34s min %7.3f s  median %7.3f s", what, t.min, t.median);
    if (peer.ok)
        std::printf("  ratio %.2fx %s (%.3f s)", t.median / peer.median, peerName, peer.median);
    std::printf("\n");
}

cv::Mat lightImage(const std::string& framePath, cv::Size size) {
    cv::Mat frame = cv::imread(framePath, cv::IMREAD_UNCHANGED);
    if (frame.empty())
        return {};
    cv::Mat f;
    frame.convertTo(f, CV_32F, frame.depth() == CV_16U ? 1.0 / 65535 : 1.0 / 255);
    cv::resize(f, f, size, 0, 0, cv::INTER_CUBIC);
    f = cv::max(f, 0.f);
    cv::pow(f, 2.2, f);
    double lo = 0, hi = 0;
    cv::minMaxLoc(f.reshape(1), &lo, &hi);
    return f * (1.0 / hi);
}

// One whole luminance-hdr-cli run; false when the program is missing or fails.
bool runPeer(const QString& program, const QString& hdr, const QString& tmo, const QString& out) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, {QStringLiteral("-l"), hdr, QStringLiteral("--tmo"), tmo, QStringLiteral("-o"), out});
    if (!p.waitForFinished(600000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && QFile::exists(out);
}

Timing peerTiming(const QString& program, const cv::Mat& light, const QString& tmo, const QTemporaryDir& dir,
                  int runs) {
    if (program.isEmpty())
        return {};
    const QString hdr = dir.filePath(QStringLiteral("in_%1.hdr").arg(light.cols));
    if (!QFile::exists(hdr) && !cv::imwrite(hdr.toStdString(), light))
        return {};
    const QString out = dir.filePath(QStringLiteral("out.jpg"));
    return measure(runs, [&] {
        QFile::remove(out);
        return runPeer(program, hdr, tmo, out);
    });
}

Timing operatorTiming(int index, const cv::Mat& light, int runs) {
    std::unique_ptr<lumora::ToneMappingBase> op = lumora::createToneMappingOperator(index);
    const std::array<float, 3> params = lumora::operatorTripleFromPositions(index, 0, 0, 0);
    return measure(runs, [&] {
        cv::Mat out;
        op->toneMap(out, light, params.data());
        return !out.empty();
    });
}

void bilateralError(const cv::Mat& light) {
    cv::Mat xyz = lumora::layerprocessing::absoluteXYZ(light, 2525.f);
    cv::Mat Y;
    cv::extractChannel(xyz, Y, 1);
    std::mt19937 gen(5);
    std::vector<cv::Point> dark;
    for (int i = 0; i < 60; ++i) {
        dark.emplace_back(std::uniform_int_distribution<int>(0, Y.cols - 1)(gen),
                          std::uniform_int_distribution<int>(0, Y.rows - 1)(gen));
        Y.at<float>(dark.back()) = 1e-8f;
    }
    cv::Mat logY;
    cv::log(Y, logY);
    logY *= 1.0 / std::log(10.0);
    const double sigmaS = 0.02 * logY.rows;
    cv::Mat fast;
    const Timing t = measure(3, [&] {
        cv_extend::bilateralFilter(logY, fast, sigmaS, 0.35);
        return true;
    });
    std::vector<double> errors;
    double worstDark = 0;
    for (int i = 0; i < 400; ++i) {
        const int x = std::uniform_int_distribution<int>(0, logY.cols - 1)(gen);
        const int y = std::uniform_int_distribution<int>(0, logY.rows - 1)(gen);
        errors.push_back(
            std::fabs(fast.at<float>(y, x) - cv_extend::bilateralFilterDirectAt(logY, x, y, sigmaS, 0.35)));
    }
    for (const cv::Point& p : dark) {
        const double e =
            std::fabs(fast.at<float>(p) - cv_extend::bilateralFilterDirectAt(logY, p.x, p.y, sigmaS, 0.35));
        errors.push_back(e);
        worstDark = std::max(worstDark, e);
    }
    double mean = 0;
    for (double e : errors)
        mean += e / errors.size();
    std::sort(errors.begin(), errors.end());
    std::printf(
        "bilateral %dx%d sigma %.0f px: one channel min %.3f s median %.3f s; |fast - direct| log10 over "
        "%zu pixels (60 isolated at 1e-8): mean %.5f, 99.9th pct %.5f, max %.5f, worst dark %.5f\n",
        logY.cols, logY.rows, sigmaS, t.min, t.median, errors.size(), mean,
        errors[static_cast<size_t>(0.999 * (errors.size() - 1))], errors.back(), worstDark);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString media = qEnvironmentVariable("LUMORA_TESTMEDIA_DIR");
    if (media.isEmpty())
        media = QCoreApplication::applicationDirPath() + QStringLiteral("/../testmedia");
    const std::string frame = QDir(media).filePath(QStringLiteral("burst_tif16/frame_000.tif")).toStdString();
    const cv::Mat small = lightImage(frame, cv::Size(1155, 866));
    const cv::Mat large = lightImage(frame, cv::Size(4000, 3000));
    if (small.empty() || large.empty()) {
        std::fprintf(stderr, "bench_operators: cannot read %s (make the test media first)\n", frame.c_str());
        return 1;
    }
    // "--only layer|log|lc" times one operator at 12 MP without the peers (for profiling).
    const QStringList args = app.arguments();
    const int only = args.indexOf(QStringLiteral("--only"));
    if (only > 0 && only + 1 < args.size()) {
        const QString which = args[only + 1];
        const int index = which == QLatin1String("log") ? 1 : which == QLatin1String("lc") ? 2 : 4;
        print(qPrintable(which + QStringLiteral(" 12 MP")), operatorTiming(index, large, 1), {}, "");
        return 0;
    }
    const QString peer = QStandardPaths::findExecutable(QStringLiteral("luminance-hdr-cli"));
    if (peer.isEmpty())
        std::printf("luminance-hdr-cli not found: no ratios\n");
    QTemporaryDir dir;

    std::printf("light image from %s; operator sliders at their middle positions\n", frame.c_str());
    const Timing drago1 = peerTiming(peer, small, QStringLiteral("drago"), dir, 3);
    print("luminance-hdr-cli drago 1 MP", drago1, {}, "");
    print("LogMapping 1 MP", operatorTiming(1, small, 5), drago1, "drago");
    const Timing drago12 = peerTiming(peer, large, QStringLiteral("drago"), dir, 3);
    print("luminance-hdr-cli drago 12 MP", drago12, {}, "");
    print("LogMapping 12 MP", operatorTiming(1, large, 3), drago12, "drago");
    const Timing durand12 = peerTiming(peer, large, QStringLiteral("durand"), dir, 3);
    print("luminance-hdr-cli durand 12 MP", durand12, {}, "");
    print("LayerProcessing 12 MP", operatorTiming(4, large, 3), durand12, "durand");
    print("LC_Model 12 MP", operatorTiming(2, large, 3), drago12, "drago");
    bilateralError(large);
    return 0;
}
