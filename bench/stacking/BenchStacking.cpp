// bench_stacking: the stacking engine on the generated scenes. Three parts, each printing the machine's load
// first (the machine may be shared):
//
//   bench_stacking [--media DIR] [--reps N] [--clip NAME]... [--only TEXT]... [--full]
//     Whole clip-to-light-image runs (opening and decoding included) of 17 frames, 8 before and 8 after, on
//     the 1080p H.264 scene, the same scene as 10-bit HLG HEVC and the 4K scene (bench media set),
//     for the search, quality, alignment and motion choices. Every run is a child process, so its peak memory
//     is its own. Prints min and median wall time, seconds per merged frame, where the time went, the peak
//     memory and the ratio to the plain long-exposure merge measured in the same run. --only keeps the
//     configurations whose name contains TEXT (the baseline always runs); --full also runs the exhaustive
//     search with automatic motion on 4K, which takes hours.
//   bench_stacking --quality PREFIX [--only TEXT]...
//     Anti-ghosting quality on a motion scene (lumora-testmedia OUTDIR --only PREFIX), as the quality tests
//     measure it, for both searches and the long exposure.
//   bench_stacking --align
//     The recorded camera shifts of the lossless burst and of the 1080p clip, recovered by the fast estimate
//     and by the full-resolution reference: errors, their difference, milliseconds per frame.

#include "MotionScene.h"
#include "app/Parallel.h"
#include "media/ImagesSequence.h"
#include "stacking/FrameAlignment.h"
#include "stacking/StackingEngine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using lumora::BlockSearch;
using lumora::StackingEngine;
using Clock = std::chrono::steady_clock;

// The caller only waits, as lumora-cli does.
int threads() {
    return lumora::workerCount(lumora::WorkerUse::Waiting);
}

void printLoad() {
    std::ifstream in("/proc/loadavg");
    std::string load;
    std::getline(in, load);
    std::printf("load average (1, 5, 15 min): %s; %d thread(s) for the composite\n", load.c_str(), threads());
}

struct Config {
    const char* name;
    int block;       // 15 fast, 5 good, 1 optimal
    float tolerance; // 0 high anti-ghosting, 100 long exposure
    float motion;    // radius percent; -1 automatic
    bool align;
    BlockSearch search;
    bool heavy; // one repetition only, and on 4K only with --full
};

// What a child reports back.
struct Result {
    double seconds = 0, readSeconds = 0, alignSeconds = 0, composeSeconds = 0, estimateSeconds = 0;
    int merged = 0, minRadius = 0, maxRadius = 0;
    long peakKb = 0;
    double cpuSeconds =
        0; // user and system time of the child: what a quiet machine would spread over its cores
    bool ok = false;
};

Result runChild(const std::string& clip, const Config& c) {
    Result r;
    const auto start = Clock::now();
    lumora::ImagesSequence seq(clip);
    if (!seq.ready())
        return r;
    lumora::StackingParams p;
    p.sequence = &seq;
    p.chosenIndex = std::min(20, seq.frameCount() - 9);
    p.firstIndex = p.chosenIndex - 8;
    p.frameCount = 17;
    p.blockSize = c.block;
    p.ghostTolerance = c.tolerance;
    p.searchRadiusPercent = c.motion;
    p.align = c.align;
    p.search = c.search;
    p.threadCount = threads();
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(p);
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.ok = !light.empty();
    r.merged = 1;
    r.minRadius = 1 << 30;
    for (const auto& f : engine.report()) {
        r.readSeconds += f.readSeconds;
        r.alignSeconds += f.alignSeconds;
        r.composeSeconds += f.composeSeconds;
        r.estimateSeconds += f.estimateSeconds;
        if (f.state == StackingEngine::FrameReport::State::Merged) {
            ++r.merged;
            r.minRadius = std::min(r.minRadius, f.searchRadius);
            r.maxRadius = std::max(r.maxRadius, f.searchRadius);
        }
    }
    return r;
}

// Runs one configuration in a child process; false when the child failed.
bool runIsolated(const std::string& clip, const Config& c, Result& out) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fds[0]);
        Result r = runChild(clip, c);
        const ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 1);
    }
    close(fds[1]);
    Result r;
    const ssize_t got = read(fds[0], &r, sizeof r);
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (got != static_cast<ssize_t>(sizeof r) || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !r.ok)
        return false;
    r.peakKb = usage.ru_maxrss;
    r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    out = r;
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

bool selected(const char* name, const std::vector<std::string>& only) {
    return only.empty() || std::any_of(only.begin(), only.end(), [&](const std::string& t) {
               return std::string(name).find(t) != std::string::npos;
           });
}

int runTimings(const std::string& media, std::vector<std::string> clips, const std::vector<std::string>& only,
               int reps, bool full) {
    if (clips.empty())
        clips = {"scene_1080p.mp4", "scene_hlg_1080p.mp4", "scene_4k.mp4"};
    // The window's defaults: good quality, high anti-ghosting, automatic motion, align.
    const Config configs[] = {
        {"long exposure, no align (baseline)", 5, 100.f, 3.f, false, BlockSearch::Fast, false},
        {"window defaults, fast search", 5, 0.f, -1.f, true, BlockSearch::Fast, false},
        {"long exposure, align", 5, 100.f, 3.f, true, BlockSearch::Fast, false},
        {"fast quality, fast search", 15, 0.f, -1.f, true, BlockSearch::Fast, false},
        {"optimal quality, fast search", 1, 0.f, -1.f, true, BlockSearch::Fast, false},
        {"medium anti-ghosting, fast search", 5, 4.f, -1.f, true, BlockSearch::Fast, false},
        {"good, fixed motion 0, exhaustive", 5, 0.f, 0.f, true, BlockSearch::Exhaustive, false},
        {"window defaults, exhaustive search", 5, 0.f, -1.f, true, BlockSearch::Exhaustive, true},
    };
    printLoad();
    std::printf("17 frames (8 before, 8 after)\n");
    for (const std::string& name : clips) {
        const std::string clip = media + "/" + name;
        if (!QFileInfo::exists(QString::fromStdString(clip))) {
            std::printf("\n%s: missing (lumora-testmedia OUTDIR --set bench makes it)\n", name.c_str());
            continue;
        }
        const bool large = name.find("4k") != std::string::npos;
        std::printf("\n== %s\n%-36s %4s %7s %8s %7s %6s %6s %6s %8s %7s %9s %6s\n", name.c_str(),
                    "configuration", "runs", "min s", "median s", "cpu s", "s/frame", "read", "align",
                    "compose", "motion", "radius", "peakMB");
        double baseline = 0;
        for (const Config& c : configs) {
            if (large && c.heavy && !full)
                continue;
            if (&c != &configs[0] && !selected(c.name, only))
                continue;
            const int n = c.heavy ? 1 : reps;
            std::vector<double> times, cpu;
            Result last;
            long peakKb = 0;
            for (int i = 0; i < n; ++i) {
                Result r;
                if (!runIsolated(clip, c, r)) {
                    std::printf("%-36s failed\n", c.name);
                    break;
                }
                times.push_back(r.seconds);
                cpu.push_back(r.cpuSeconds);
                peakKb = std::max(peakKb, r.peakKb);
                last = r;
            }
            if (times.empty())
                continue;
            const double best = *std::min_element(times.begin(), times.end());
            if (baseline == 0)
                baseline = best;
            char radius[32];
            std::snprintf(radius, sizeof radius, "%d-%d", last.minRadius, last.maxRadius);
            std::printf("%-36s %4d %7.2f %8.2f %6.2f %7.3f %6.2f %6.2f %8.2f %7.2f %9s %6ld  x%.1f\n", c.name,
                        n, best, median(times), median(cpu), best / std::max(1, last.merged),
                        last.readSeconds, last.alignSeconds, last.composeSeconds, last.estimateSeconds,
                        radius, peakKb / 1024, best / baseline);
            std::fflush(stdout);
        }
    }
    return 0;
}

int runQuality(const std::string& media, const std::string& prefix, const std::vector<std::string>& only) {
    const lumora::test::MotionScene scene = lumora::test::loadMotionScene(media, prefix);
    if (scene.frames.empty()) {
        std::printf("%s: missing (lumora-testmedia OUTDIR --only %s makes it)\n", prefix.c_str(),
                    prefix.c_str());
        return 1;
    }
    printLoad();
    const cv::Mat still =
        lumora::test::stackBurst(scene.still, scene.centre, BlockSearch::Fast, 100.f, threads());
    const cv::Mat clean =
        lumora::test::stackBurst(scene.clean, scene.centre, BlockSearch::Fast, 100.f, threads());
    const cv::Mat ghost = scene.ghostMask(lumora::test::kPathMargin);
    const cv::Mat object = scene.objectMask(lumora::test::kPathMargin);
    const cv::Mat quiet = scene.staticMask(lumora::test::kStaticClearance, lumora::test::kStaticBorder);
    std::printf(
        "== %s: %zu frames stacked on frame %d, %dx%d; ghost region %d px, object %d px, still area %d px\n",
        prefix.c_str(), scene.frames.size(), scene.centre, scene.size.width, scene.size.height,
        cv::countNonZero(ghost), cv::countNonZero(object), cv::countNonZero(quiet));
    std::printf(
        "mean difference to the still scene's long exposure in the ghost region and on the object; RMS\n"
        "difference to the noiseless scene's long exposure in the still area (noise)\n");
    std::printf("%-40s %10s %10s %10s %8s\n", "stack", "ghost", "object", "noise", "s");
    struct Case {
        const char* name;
        BlockSearch search;
        float tolerance;
        int block;
    };
    const Case cases[] = {
        {"long exposure", BlockSearch::Fast, 100.f, 5},
        {"fast search, window defaults", BlockSearch::Fast, 0.f, 5},
        {"exhaustive search, window defaults", BlockSearch::Exhaustive, 0.f, 5},
        {"fast search, fast quality", BlockSearch::Fast, 0.f, 15},
        {"exhaustive search, fast quality", BlockSearch::Exhaustive, 0.f, 15},
        {"fast search, optimal quality", BlockSearch::Fast, 0.f, 1},
        {"exhaustive search, optimal quality", BlockSearch::Exhaustive, 0.f, 1},
        {"fast search, medium anti-ghosting", BlockSearch::Fast, 4.f, 5},
        {"exhaustive search, medium anti-ghosting", BlockSearch::Exhaustive, 4.f, 5},
    };
    for (const Case& c : cases) {
        if (!selected(c.name, only))
            continue;
        const auto start = Clock::now();
        const cv::Mat light =
            lumora::test::stackBurst(scene.moving, scene.centre, c.search, c.tolerance, threads(), c.block);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (light.empty() || still.empty() || clean.empty()) {
            std::printf("%-40s failed\n", c.name);
            continue;
        }
        std::printf("%-40s %10.5f %10.5f %10.5f %8.2f\n", c.name,
                    lumora::test::meanDifference(light, still, ghost),
                    lumora::test::meanDifference(light, still, object),
                    lumora::test::rmsDifference(light, clean, quiet), seconds);
        std::fflush(stdout);
    }
    return 0;
}

int runAlignment(const std::string& media) {
    using lumora::AlignMethod;
    struct Source {
        const char* name;
        std::string sidecar;
        int first; // sidecar index of frames[0]
        std::vector<cv::Mat> frames;
    };
    std::vector<Source> sources;
    Source burst{"burst_png8 (lossless)", media + "/burst.json", 0, {}};
    for (int i = 0; i < 9; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/burst_png8/frame_%03d.png", i);
        burst.frames.push_back(cv::imread(media + name, cv::IMREAD_COLOR));
    }
    sources.push_back(burst);
    lumora::ImagesSequence clip(media + "/scene_1080p.mp4");
    if (clip.ready())
        sources.push_back(
            {"scene_1080p.mp4 (H.264)", media + "/scene_1080p.json", 16, clip.getCvImagesInRange(16, 24)});
    printLoad();
    std::printf("%-24s %-10s %8s %8s %8s %12s %9s\n", "frames (chosen: 5th)", "method", "max err", "mean err",
                "max diff", "estimate ms", "warp ms");
    for (const Source& src : sources) {
        const auto truth = lumora::test::readSceneSidecar(src.sidecar);
        if (truth.size() < static_cast<size_t>(src.first + 9) || src.frames.size() != 9 ||
            src.frames[4].empty()) {
            std::printf("%s: missing\n", src.name);
            continue;
        }
        const cv::Mat chosenGrey = lumora::greyForAlignment(src.frames[4]);
        std::vector<cv::Vec2d> reference;
        for (AlignMethod m : {AlignMethod::SingleScale, AlignMethod::Fast}) {
            const lumora::FrameAligner aligner(chosenGrey, m); // prepared once per run: not counted
            double maxErr = 0, sumErr = 0, maxDiff = 0, estimateMs = 0, warpMs = 0;
            std::vector<cv::Vec2d> found;
            for (int i = 0; i < 9; ++i) {
                cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
                if (i != 4) {
                    const auto t0 = Clock::now();
                    warp = aligner.estimate(lumora::greyForAlignment(src.frames[static_cast<size_t>(i)]));
                    const auto t1 = Clock::now();
                    lumora::applyTranslation(src.frames[static_cast<size_t>(i)], warp);
                    estimateMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
                    warpMs += std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
                }
                const auto& k = truth[static_cast<size_t>(src.first + i)];
                const auto& c = truth[static_cast<size_t>(src.first + 4)];
                const cv::Vec2d t(warp.at<float>(0, 2), warp.at<float>(1, 2));
                const double err = cv::norm(t - cv::Vec2d(k.shiftX - c.shiftX, k.shiftY - c.shiftY));
                maxErr = std::max(maxErr, err);
                sumErr += err;
                found.push_back(t);
                if (!reference.empty())
                    maxDiff = std::max(maxDiff, cv::norm(t - reference[static_cast<size_t>(i)]));
            }
            if (reference.empty())
                reference = found;
            std::printf("%-24s %-10s %8.3f %8.3f %8.3f %12.1f %9.1f\n", src.name,
                        m == AlignMethod::Fast ? "fast" : "reference", maxErr, sumErr / 8.0, maxDiff,
                        estimateMs / 8.0, warpMs / 8.0);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the sequence's event-log calls use Qt's paths
    std::string media = LUMORA_DEFAULT_TESTMEDIA_DIR;
    std::vector<std::string> clips, only, quality;
    int reps = 3;
    bool full = false, align = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--media") && i + 1 < argc)
            media = argv[++i];
        else if (!std::strcmp(argv[i], "--reps") && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--clip") && i + 1 < argc)
            clips.push_back(argv[++i]);
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only.push_back(argv[++i]);
        else if (!std::strcmp(argv[i], "--quality") && i + 1 < argc)
            quality.push_back(argv[++i]);
        else if (!std::strcmp(argv[i], "--full"))
            full = true;
        else if (!std::strcmp(argv[i], "--align"))
            align = true;
        else {
            std::fprintf(stderr,
                         "usage: bench_stacking [--media DIR] [--reps N] [--clip NAME]... [--only TEXT]... "
                         "[--full] | --quality PREFIX... | --align\n");
            return 2;
        }
    }
    if (align)
        return runAlignment(media);
    if (!quality.empty()) {
        int status = 0;
        for (const std::string& prefix : quality)
            status |= runQuality(media, prefix, only);
        return status;
    }
    return runTimings(media, clips, only, reps, full);
}
