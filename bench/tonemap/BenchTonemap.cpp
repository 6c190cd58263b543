// bench_tonemap: speed (and peak memory) of the local Laplacian operator and of the render pipeline on a real
// photograph made HDR (linearised with a 2.2 power, normalised to a maximum of 1), at the operator slider
// positions 0, 30, 60 and -50. Prints min and median of several runs, and ratios to baselines measured in the
// same run: the literal per-coefficient filter, the portable (non-vector) inner loop, and luminance-hdr-cli's
// "durand" operator when that program is installed. Also: how late a timer thread wakes while a preview
// renders with one or every core, and how far the fast preview is from the scaled-down export.
//
// usage: bench_tonemap [--image PHOTO] [--runs N] [--skip-12mp]

#include "LiteralLapFilter.h"

#include "app/ImageMemory.h"
#include "app/Parallel.h"
#include "tonemap/Laplacian.h"
#include "tonemap/LaplacianFilter.h"
#include "tonemap/RemapAccumulate.h"
#include "tonemap/ToneMapEngine.h"
#include "tonemap/ToneMapParams.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace lumora;

namespace {

struct Stats {
    double min = 0, median = 0;
    int runs = 0;
};

Stats summarise(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    Stats s;
    s.runs = static_cast<int>(t.size());
    if (t.empty())
        return s;
    s.min = t.front();
    s.median = t.size() % 2 ? t[t.size() / 2] : 0.5 * (t[t.size() / 2 - 1] + t[t.size() / 2]);
    return s;
}

double seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

Stats timeRuns(int runs, const std::function<void()>& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i)
        t.push_back(seconds(f));
    return summarise(t);
}

void report(const std::string& what, const Stats& s, double scale = 1.0, const char* unit = "s") {
    std::printf("  %-58s min %8.3f %s  median %8.3f %s  (%d runs)\n", what.c_str(), s.min * scale, unit,
                s.median * scale, unit, s.runs);
    std::fflush(stdout);
}

void ratio(const std::string& what, const Stats& ours, const Stats& base) {
    if (base.runs == 0 || ours.runs == 0)
        return;
    std::printf("  %-58s %6.2fx (min/min)  %6.2fx (median/median)\n", what.c_str(), base.min / ours.min,
                base.median / ours.median);
}

// A photograph made HDR: linear light by the 2.2 power, brightest sample at 1.
cv::Mat loadHdr(const std::string& path) {
    cv::Mat img = cv::imread(path, cv::IMREAD_COLOR);
    if (img.empty())
        return {};
    cv::Mat f;
    img.convertTo(f, CV_32F, 1.0 / 255.0);
    cv::pow(f, 2.2, f);
    double maxV = 0;
    cv::minMaxLoc(f.reshape(1), nullptr, &maxV);
    if (maxV > 0)
        f /= maxV;
    return f;
}

// A synthetic stand-in when no photograph is around: sky, sun, shaded ground and texture.
cv::Mat syntheticHdr(cv::Size size) {
    cv::Mat f(size, CV_32FC3);
    cv::RNG rng(5);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const double sky =
                y < size.height / 2 ? 0.3 + 0.2 * x / size.width : 0.004 + 0.01 * (x % 37) / 37.0;
            const double sun = std::exp(
                -(std::pow(x - 0.7 * size.width, 2) + std::pow(y - 0.2 * size.height, 2)) / (2.0 * 400.0));
            const double v = sky + sun + rng.uniform(0.0, 0.002);
            f.at<cv::Vec3f>(y, x) =
                cv::Vec3f(static_cast<float>(v * 0.8), static_cast<float>(v * 0.9), static_cast<float>(v));
        }
    double maxV = 0;
    cv::minMaxLoc(f.reshape(1), nullptr, &maxV);
    return f / maxV;
}

cv::Mat resizeToArea(const cv::Mat& img, double pixels) {
    const double k = std::sqrt(pixels / static_cast<double>(img.total()));
    cv::Mat out;
    cv::resize(
        img, out,
        cv::Size(static_cast<int>(std::lround(img.cols * k)), static_cast<int>(std::lround(img.rows * k))), 0,
        0, cv::INTER_AREA);
    return out;
}

std::string defaultPhoto() {
    const char* candidates[] = {
        "/usr/share/forensics-samples/original-files/pic2/IMG_20200608_111614.jpg",
        "/usr/share/forensics-samples/original-files/pic1/IMG_20200827_231612.jpg",
    };
    for (const char* c : candidates)
        if (QFileInfo::exists(QString::fromUtf8(c)))
            return c;
    return {};
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one.empty() ? "?" : one;
}

struct Lateness {
    double median = 0, p99 = 0, worst = 0; // ms
};

// How late a thread that wakes every 5 ms (as the window's event loop does for its timers) wakes while
// `work` runs on another thread.
Lateness latenessDuring(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::vector<double> late;
    std::thread watcher([&] {
        while (!done.load()) {
            const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
            std::this_thread::sleep_until(due);
            late.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - due).count());
        }
    });
    work();
    done = true;
    watcher.join();
    std::sort(late.begin(), late.end());
    if (late.empty())
        return {};
    return {late[late.size() / 2], late[late.size() * 99 / 100], late.back()};
}

// Mean absolute difference, in 8-bit levels, between the fast preview and the full-size render scaled down
// to the preview's size, both with the operator sliders at `pos`.
double previewVersusExport(const cv::Mat& full, int pos, bool fast) {
    // The window fits the picture into its 1100 x 620 view keeping the aspect ratio.
    const double k = std::min({1.0, 1100.0 / full.cols, 620.0 / full.rows});
    ToneMapEngine::setPreviewSize(std::max(1, int(full.cols * k)), std::max(1, int(full.rows * k)));
    ToneMapEngine engine;
    engine.setImage(full);
    ControlPositions p;
    p.alpha = p.beta = pos;
    applyControlPositions(engine, p);
    engine.computePreview(ToneMapEngine::StageRotation, fast);
    const cv::Mat previewed = engine.previewImage().clone();
    cv::Mat scaled;
    cv::resize(engine.renderFullSize().take(), scaled, previewed.size(), 0, 0, cv::INTER_AREA);
    cv::Mat a, b, d;
    previewed.convertTo(a, CV_8U, 255.0);
    scaled.convertTo(b, CV_8U, 255.0);
    cv::absdiff(a, b, d);
    return cv::mean(d.reshape(1))[0];
}

void reportPreviewVersusExport(const cv::Mat& full) {
    std::printf(
        "\nThe preview looks like the export: 12 MP render scaled to the preview vs the preview renders\n");
    for (int pos : {0, 30, 60})
        std::printf("  sliders at %d: mean difference %.2f levels of 255 (fast preview), %.2f (preview)\n",
                    pos, previewVersusExport(full, pos, true), previewVersusExport(full, pos, false));
}

// Child mode: one full-size render of the whole pipeline, then its time and the process's peak memory.
int runFullSizeChild(const std::string& photo, int alphaPos, int betaPos) {
    cv::Mat hdr = photo.empty() ? syntheticHdr({4000, 3000}) : loadHdr(photo);
    if (hdr.empty())
        return 1;
    ToneMapEngine engine;
    engine.setImage(hdr);
    hdr.release();
    ControlPositions p; // the window's designed positions (sharpening on), with the operator's two sliders
    p.alpha = alphaPos;
    p.beta = betaPos;
    applyControlPositions(engine, p);
    double t = seconds([&] { engine.renderFullSize().take(); });
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("%.4f %ld\n", t, ru.ru_maxrss);
    return 0;
}

Stats timePeer(const QString& hdrPath, const QString& outDir, int runs) {
    const QString peer = QStandardPaths::findExecutable(QStringLiteral("luminance-hdr-cli"));
    if (peer.isEmpty())
        return {};
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QProcess proc;
        const QStringList args{QStringLiteral("-l"),    hdrPath,
                               QStringLiteral("--tmo"), QStringLiteral("durand"),
                               QStringLiteral("-o"),    outDir + QStringLiteral("/peer.jpg")};
        const double s = seconds([&] {
            proc.start(peer, args);
            proc.waitForFinished(600000);
        });
        if (proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0) {
            std::printf("  luminance-hdr-cli failed: %s\n", proc.readAllStandardError().constData());
            return {};
        }
        t.push_back(s);
    }
    return summarise(t);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Large matrices as the programs allocate them.
    lumora::useLargePagesForImages();
    QStringList args = app.arguments().mid(1);
    std::string photo = defaultPhoto();
    int runs = 5;
    bool skip12 = false;
    bool previewOnly = false; // only the preview-versus-export comparison
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--image") && i + 1 < args.size())
            photo = args[++i].toStdString();
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--skip-12mp"))
            skip12 = true;
        else if (args[i] == QLatin1String("--preview-only"))
            previewOnly = true;
        else if (args[i] == QLatin1String("--child-full-size") && i + 3 < args.size())
            return runFullSizeChild(args[i + 1].toStdString(), args[i + 2].toInt(), args[i + 3].toInt());
    }

    const cv::Mat full = photo.empty() ? syntheticHdr({4000, 3000}) : loadHdr(photo);
    if (full.empty()) {
        std::fprintf(stderr, "bench_tonemap: cannot read %s\n", photo.c_str());
        return 1;
    }
    if (previewOnly) {
        std::printf("bench_tonemap: preview versus export on %s (%dx%d)\n",
                    photo.empty() ? "a synthetic light image" : photo.c_str(), full.cols, full.rows);
        reportPreviewVersusExport(full);
        return 0;
    }
    const cv::Mat mp1 = resizeToArea(full, 1.0e6);
    const cv::Size fastView(static_cast<int>(1100 / 1.5), static_cast<int>(620 / 1.5));
    cv::Mat preview;
    cv::resize(full, preview, fastView, 0, 0, cv::INTER_AREA);
    const int waiting = workerCount(WorkerUse::Waiting), interactive = workerCount(WorkerUse::Interactive);
    std::printf("bench_tonemap: %s (%dx%d), 1 MP = %dx%d, fast preview = %dx%d, workers %d (waiting) / %d "
                "(interactive), vector loop %s, load %s\n",
                photo.empty() ? "synthetic scene" : photo.c_str(), full.cols, full.rows, mp1.cols, mp1.rows,
                preview.cols, preview.rows, waiting, interactive,
                remapWideSimdAvailable() ? "AVX-512"
                : remapSimdAvailable()   ? "AVX2"
                                         : "portable",
                loadAverage().c_str());

    QTemporaryDir tmp;
    const QString hdr1 = tmp.path() + QStringLiteral("/mp1.hdr");
    const QString hdrPreview = tmp.path() + QStringLiteral("/preview.hdr");
    const QString hdrFull = tmp.path() + QStringLiteral("/full.hdr");
    cv::imwrite(hdr1.toStdString(), mp1);
    cv::imwrite(hdrPreview.toStdString(), preview);

    // Both "TM1" sliders at these positions: 0 (alpha 1), 30 and 60 (details enhanced), -50 (smoothed).
    const int positions[] = {0, 30, 60, -50};
    std::printf("\nLocal Laplacian operator alone (Laplacian::toneMap)\n");
    Stats shipped1mp;
    for (int pos : positions) {
        const std::array<float, 3> params = operatorTripleFromPositions(0, pos, pos, 0);
        const std::string name = "sliders at " + std::to_string(pos);
        for (int threads : {waiting, interactive}) {
            Laplacian op;
            op.setWorkerCount(threads);
            cv::Mat out;
            const std::string how = ", " + std::to_string(threads) + " thread(s)";
            const Stats s1 = timeRuns(runs, [&] { op.toneMap(out, mp1, params.data()); });
            report("1 MP, " + name + how, s1);
            if (pos == 30 && threads == waiting)
                shipped1mp = s1;
            report("fast preview, " + name + how,
                   timeRuns(runs, [&] { op.toneMap(out, preview, params.data()); }));
        }
    }

    std::printf(
        "\nThe window's thread while a fast preview renders at sliders 30 (a 5 ms timer's lateness)\n");
    for (int threads : {interactive, waiting}) {
        const Lateness l = latenessDuring([&] {
            Laplacian op;
            op.setWorkerCount(threads);
            const std::array<float, 3> params = operatorTripleFromPositions(0, 30, 30, 0);
            cv::Mat out;
            for (int i = 0; i < runs; ++i)
                op.toneMap(out, preview, params.data());
        });
        std::printf(
            "  %d render thread(s): lateness median %.2f ms, 99th percentile %.2f ms, worst %.2f ms\n",
            threads, l.median, l.p99, l.worst);
    }

    reportPreviewVersusExport(full);

    std::printf("\nBaselines on the fast-preview image (sliders at 30, one thread)\n");
    const float sigma = std::log(2.5f);
    const std::array<float, 3> at30 = operatorTripleFromPositions(0, 30, 30, 0);
    const LapFilterParams lap{at30[0], at30[1], sigma, 0.01f};
    cv::Mat logPreview = Laplacian::luminance(preview) + 1.1920929e-07f;
    cv::log(logPreview, logPreview);
    RunControl control;
    const Stats vec = timeRuns(runs, [&] { lapfilterCore(logPreview, lap, control, {1, true}); });
    report("filter, kernel form, vector loop (tabulated detail curve)", vec);
    const Stats portable = timeRuns(std::max(1, runs / 2), [&] {
        lapfilterCore(logPreview, lap, control, {1, false});
    });
    report("filter, kernel form, portable loop (std::pow)", portable);
    const Stats literal =
        timeRuns(1, [&] { bench::literalLapFilter(logPreview, lap.alpha, lap.beta, sigma, 0.01f); });
    report("filter, literal per-coefficient sub-pyramids", literal);
    ratio("speed-up of the vector loop over the portable one", vec, portable);
    if (remapWideSimdAvailable()) {
        // 16 lanes against 8, turn about in the same runs so that the machine's load weighs on both alike.
        for (int pos : positions) {
            const std::array<float, 3> t = operatorTripleFromPositions(0, pos, pos, 0);
            const LapFilterParams p{t[0], t[1], sigma, 0.01f};
            std::vector<double> wide, narrow;
            for (int i = 0; i < runs; ++i) {
                wide.push_back(seconds([&] { lapfilterCore(logPreview, p, control, {1, true, true}); }));
                narrow.push_back(seconds([&] { lapfilterCore(logPreview, p, control, {1, true, false}); }));
            }
            ratio("16-lane loop over the 8-lane one, sliders at " + std::to_string(pos), summarise(wide),
                  summarise(narrow));
        }
    }
    ratio("speed-up of the kernel form over the literal form", vec, literal);

    std::printf("\nSlider change on a 1 MP preview (exposure, restart at stage 4, fast mode)\n");
    {
        ToneMapEngine::setPreviewSize(mp1.cols, mp1.rows);
        ToneMapEngine engine;
        engine.setImage(mp1);
        applyControlPositions(engine, ControlPositions{});
        engine.computePreview(0, false);
        int v = 0;
        const Stats s =
            timeRuns(std::max(runs, 10), [&] { engine.setExposure(position::exposure(++v % 50), true); });
        report("exposure slider step", s, 1000.0, "ms");
        const Stats h =
            timeRuns(std::max(runs, 10), [&] { engine.setHue(position::hue(++v % 50 + 1), true); });
        report("hue slider step (HSV path)", h, 1000.0, "ms");
    }

    std::printf("\nPeer: luminance-hdr-cli --tmo durand (whole program: load .hdr, tone-map, save JPEG)\n");
    const Stats peer1 = timePeer(hdr1, tmp.path(), std::max(1, runs / 2 + 1));
    const Stats peerPreview = timePeer(hdrPreview, tmp.path(), std::max(1, runs / 2 + 1));
    if (peer1.runs == 0) {
        std::printf("  luminance-hdr-cli not installed: no peer ratio\n");
    } else {
        report("1 MP", peer1);
        report("fast preview", peerPreview);
        ratio("peer time / our time, 1 MP (sliders at 30, every core)", shipped1mp, peer1);
    }

    if (!skip12) {
        std::printf("\nFull-size render through the whole pipeline (%dx%d, separate process each run)\n",
                    full.cols, full.rows);
        Stats generic;
        for (const auto& [label, alphaPos, betaPos] :
             {std::tuple{"TM1 sliders at 0", 0, 0}, std::tuple{"TM1 sliders at 30", 30, 30}}) {
            std::vector<double> times, rss;
            for (int i = 0; i < std::max(1, runs / 2 + 1); ++i) {
                QProcess child;
                child.start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--child-full-size"), QString::fromStdString(photo),
                             QString::number(alphaPos), QString::number(betaPos)});
                child.waitForFinished(1800000);
                double t = 0;
                long kb = 0;
                if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %ld", &t, &kb) == 2) {
                    times.push_back(t);
                    rss.push_back(static_cast<double>(kb) / 1024.0);
                }
            }
            report(std::string("render time, ") + label, summarise(times));
            report(std::string("peak memory of the process, ") + label, summarise(rss), 1.0, "MB");
            generic = summarise(times);
        }
        if (peer1.runs > 0) {
            cv::imwrite(hdrFull.toStdString(), full);
            const Stats peerFull = timePeer(hdrFull, tmp.path(), 1);
            report("peer on the same image", peerFull);
            ratio("peer time / our time, full size (sliders at 30)", generic, peerFull);
        }
    }
    return 0;
}
