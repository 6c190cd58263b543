// bench_stacking: whole clip-to-light-image runs on the generated scene clips (opening and frame decoding
// included), 8 frames before and 8 after the chosen one, for the quality, alignment and motion choices.
// Every run is a child process, so its peak memory is its own. Prints min and median wall time per
// configuration, seconds per merged frame, where the time went, and the ratio to the plain long-exposure
// merge measured in the same run.
//
// usage: bench_stacking [--media DIR] [--reps N] [--clip NAME]... [--only TEXT]... [--full]
//   --only keeps the configurations whose name contains TEXT (the baseline always runs).
//   --full also runs the wide searches (fixed motion 30, automatic motion) on 4K, which take tens of minutes.

#include "MotionScene.h"
#include "app/Parallel.h"
#include "media/ImagesSequence.h"
#include "stacking/StackingEngine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using lumora::StackingEngine;

struct Config {
    const char* name;
    int block;       // 15 fast, 5 good, 1 optimal
    float tolerance; // 0 high anti-ghosting, 100 long exposure
    float motion;    // radius percent; -1 automatic
    bool align;
    bool heavy; // one repetition only
};

// What a child reports back.
struct Result {
    double seconds = 0, readSeconds = 0, alignSeconds = 0, composeSeconds = 0;
    int merged = 0, minRadius = 0, maxRadius = 0;
    long peakKb = 0;
    bool ok = false;
};

Result runChild(const std::string& clip, const Config& c) {
    Result r;
    const auto start = std::chrono::steady_clock::now();
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
    p.threadCount = lumora::workerCount(lumora::WorkerUse::Interactive);
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(p);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.ok = !light.empty();
    r.merged = 1;
    r.minRadius = 1 << 30;
    for (const auto& f : engine.report()) {
        r.readSeconds += f.readSeconds;
        r.alignSeconds += f.alignSeconds;
        r.composeSeconds += f.composeSeconds;
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
    out = r;
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Anti-ghosting quality on a motion scene: ghost left in the disc's path (mean difference to the long exposure
// of the still scene) and noise left elsewhere (RMS difference to the long exposure of the noiseless scene),
// for both searches and the long exposure, with their times.
int runQuality(const std::string& media, const std::string& prefix, const std::vector<std::string>& only) {
    using lumora::BlockSearch;
    const lumora::test::MotionScene scene = lumora::test::loadMotionScene(media, prefix);
    if (scene.frames.empty()) {
        std::printf("%s: missing (lumora-testmedia OUTDIR --only %s makes it)\n", prefix.c_str(), prefix.c_str());
        return 1;
    }
    const int threads = lumora::workerCount(lumora::WorkerUse::Waiting);
    const cv::Mat still = lumora::test::stackBurst(scene.still, scene.centre, BlockSearch::Fast, true, threads);
    const cv::Mat clean = lumora::test::stackBurst(scene.clean, scene.centre, BlockSearch::Fast, true, threads);
    const cv::Mat path = scene.pathMask(4.0);
    const cv::Mat quiet = scene.staticMask(24.0, 12);
    std::printf("== %s: %zu frames on frame %d, %dx%d, %d thread(s); path %d px, static %d px\n", prefix.c_str(),
                scene.frames.size(), scene.centre, scene.size.width, scene.size.height, threads,
                cv::countNonZero(path), cv::countNonZero(quiet));
    std::printf("%-14s %10s %10s %8s\n", "stack", "ghost", "noise", "s");
    struct Case {
        const char* name;
        BlockSearch search;
        bool longExposure;
    };
    for (const Case& c : {Case{"fast", BlockSearch::Fast, false}, Case{"exhaustive", BlockSearch::Exhaustive, false},
                          Case{"long exposure", BlockSearch::Fast, true}}) {
        if (!only.empty() && std::none_of(only.begin(), only.end(), [&](const std::string& t) {
                return std::string(c.name).find(t) != std::string::npos;
            }))
            continue;
        const auto start = std::chrono::steady_clock::now();
        lumora::StackingEngine eng;
        const cv::Mat light = lumora::test::stackBurst(scene.moving, scene.centre, c.search, c.longExposure, threads, &eng);
        if (getenv("DUMP")) for (auto& f : eng.report()) std::printf(" [%d r%d %.2f/%.2fs a%.3f]", f.index, f.searchRadius, f.composeSeconds, f.estimateSeconds, f.alignSeconds);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (light.empty() || still.empty() || clean.empty()) {
            std::printf("%-14s failed\n", c.name);
            continue;
        }
        if (getenv("DUMP")) { cv::Mat o; light.convertTo(o, CV_8U, 255); cv::imwrite(std::string("/tmp/q_") + c.name + ".png", o);
          still.convertTo(o, CV_8U, 255); cv::imwrite("/tmp/q_still.png", o); cv::Mat d; cv::absdiff(light, still, d); d.convertTo(o, CV_8U, 1000); cv::imwrite(std::string("/tmp/qd_") + c.name + ".png", o); cv::imwrite("/tmp/q_path.png", path);
          static std::vector<cv::Mat> tiles; cv::Mat a,b; light.convertTo(a, CV_8U, 255); d.convertTo(b, CV_8U, 2000); cv::Mat t; cv::vconcat(a,b,t); tiles.push_back(t);
          if (tiles.size()==3) { cv::Mat s8; still.convertTo(s8, CV_8U, 255); cv::Mat col; cv::vconcat(s8, cv::Mat::zeros(s8.size(), s8.type()), col); tiles.push_back(col); cv::Mat all; cv::hconcat(tiles, all); cv::resize(all, all, cv::Size(), 1.0, 1.0); cv::imwrite("/tmp/q_all.png", all);} }
        if (getenv("DUMP")) { lumora::test::MotionScene one = scene; one.frames = {scene.frames[scene.centre]}; cv::Mat cd = one.pathMask(4.0); cv::Mat rest = path & ~cd;
            std::printf(" chosen-disc %.5f rest %.5f (%d/%d px)\n", lumora::test::meanDifference(light, still, cd), lumora::test::meanDifference(light, still, rest), cv::countNonZero(cd), cv::countNonZero(rest)); }
        std::printf("%-14s %10.5f %10.5f %8.2f\n", c.name, lumora::test::meanDifference(light, still, path),
                    lumora::test::rmsDifference(light, clean, quiet), seconds);
        std::fflush(stdout);
    }
    return 0;
}

// Alignment on the generated scene: the recorded camera shifts recovered by the fast estimate and by the
// full-resolution reference, how far each is from the truth and from the other, and the time per frame.
int runAlignment(const std::string& media) {
    using lumora::AlignMethod;
    struct Source {
        const char* name;
        std::string sidecar;
        std::vector<cv::Mat> frames;
    };
    std::vector<Source> sources;
    {
        Source burst{"burst_png8 (lossless)", media + "/burst.json", {}};
        for (int i = 0; i < 9; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "/burst_png8/frame_%03d.png", i);
            burst.frames.push_back(cv::imread(media + name, cv::IMREAD_COLOR));
        }
        sources.push_back(burst);
        lumora::ImagesSequence clip(media + "/scene_1080p.mp4");
        if (clip.ready())
            sources.push_back({"scene_1080p.mp4 (H.264)", media + "/scene_1080p.json", clip.getCvImagesInRange(16, 24)});
    }
    std::printf("%-24s %-10s %8s %8s %8s %12s %9s\n", "frames", "method", "max err", "mean err", "max diff",
                "estimate ms", "warp ms");
    for (const Source& src : sources) {
        const auto truth = lumora::test::readSceneSidecar(src.sidecar);
        if (truth.empty() || src.frames.size() != 9 || src.frames[4].empty()) {
            std::printf("%s: missing\n", src.name);
            continue;
        }
        const int first = src.frames.size() == 9 && std::string(src.name).find("burst") == 0 ? 0 : 16;
        const cv::Mat chosenGrey = lumora::greyForAlignment(src.frames[4]);
        std::vector<cv::Vec2d> reference;
        for (AlignMethod m : {AlignMethod::SingleScale, AlignMethod::Fast}) {
            using Clock = std::chrono::steady_clock;
            const lumora::FrameAligner aligner(chosenGrey, m); // prepared once per run, not counted
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
                const cv::Vec2d t(warp.at<float>(0, 2), warp.at<float>(1, 2));
                const cv::Vec2d expected(truth[static_cast<size_t>(first + i)].shiftX - truth[static_cast<size_t>(first + 4)].shiftX,
                                         truth[static_cast<size_t>(first + i)].shiftY - truth[static_cast<size_t>(first + 4)].shiftY);
                const double err = cv::norm(t - expected);
                maxErr = std::max(maxErr, err);
                sumErr += err;
                found.push_back(t);
                if (!reference.empty())
                    maxDiff = std::max(maxDiff, cv::norm(t - reference[static_cast<size_t>(i)]));
            }
            if (reference.empty())
                reference = found;
            std::printf("%-24s %-10s %8.3f %8.3f %8.3f %12.1f %9.1f\n", src.name,
                        m == AlignMethod::Fast ? "fast" : "reference", maxErr, sumErr / 8.0, maxDiff, estimateMs / 8.0,
                        warpMs / 8.0);
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
    bool full = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--media") && i + 1 < argc)
            media = argv[++i];
        else if (!std::strcmp(argv[i], "--reps") && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--clip") && i + 1 < argc)
            clips.push_back(argv[++i]);
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only.push_back(argv[++i]);
        else if (!std::strcmp(argv[i], "--full"))
            full = true;
        else if (!std::strcmp(argv[i], "--align"))
            return runAlignment(media);
        else if (!std::strcmp(argv[i], "--quality") && i + 1 < argc)
            quality.push_back(argv[++i]);
        else {
            std::fprintf(stderr,
                         "usage: bench_stacking [--media DIR] [--reps N] [--clip NAME]... [--full]\n");
            return 2;
        }
    }
    if (!quality.empty()) {
        int status = 0;
        for (const std::string& prefix : quality)
            status |= runQuality(media, prefix, only);
        return status;
    }
    if (clips.empty())
        clips = {"scene_1080p.mp4", "scene_4k.mp4"};

    const Config configs[] = {
        {"long exposure, no align (baseline)", 5, 100.f, 3.f, false, false},
        {"long exposure, align", 5, 100.f, 3.f, true, false},
        {"fast, align, fixed motion 0", 15, 0.f, 0.f, true, false},
        {"good, align, fixed motion 0", 5, 0.f, 0.f, true, false},
        {"good, no align, fixed motion 0", 5, 0.f, 0.f, false, false},
        {"optimal, align, fixed motion 0", 1, 0.f, 0.f, true, false},
        {"good, align, fixed motion 30", 5, 0.f, 3.f, true, true},
        {"good, align, auto motion", 5, 0.f, -1.f, true, true},
        {"fast, align, auto motion", 15, 0.f, -1.f, true, true},
    };

    std::printf("bench_stacking: 17 frames (8 before, 8 after), %d composite thread(s) + calling thread\n",
                lumora::workerCount(lumora::WorkerUse::Interactive));
    for (const std::string& name : clips) {
        const std::string clip = media + "/" + name;
        if (!QFileInfo::exists(QString::fromStdString(clip))) {
            std::printf("\n%s: missing (lumora-testmedia OUTDIR --set bench makes it)\n", name.c_str());
            continue;
        }
        const bool large = name.find("4k") != std::string::npos;
        std::printf("\n== %s\n%-38s %4s %9s %9s %8s %7s %7s %8s %9s %6s\n", name.c_str(), "configuration",
                    "runs", "min s", "median s", "s/frame", "read s", "align s", "compose", "radius",
                    "peakMB");
        double baseline = 0;
        for (const Config& c : configs) {
            if (large && c.heavy && !full)
                continue; // wide searches on 4K take tens of minutes
            const bool wanted = only.empty() || &c == &configs[0] ||
                                std::any_of(only.begin(), only.end(), [&](const std::string& t) {
                                    return std::string(c.name).find(t) != std::string::npos;
                                });
            if (!wanted)
                continue;
            const int n = c.heavy ? 1 : reps;
            std::vector<double> times;
            Result last;
            for (int i = 0; i < n; ++i) {
                Result r;
                if (!runIsolated(clip, c, r)) {
                    std::printf("%-38s failed\n", c.name);
                    break;
                }
                times.push_back(r.seconds);
                last = r;
            }
            if (times.empty())
                continue;
            const double best = *std::min_element(times.begin(), times.end());
            if (baseline == 0)
                baseline = best;
            char radius[32];
            std::snprintf(radius, sizeof radius, "%d-%d", last.minRadius, last.maxRadius);
            std::printf("%-38s %4d %9.2f %9.2f %8.2f %7.2f %7.2f %8.2f %9s %6ld  x%.1f\n", c.name, n, best,
                        median(times), best / std::max(1, last.merged), last.readSeconds, last.alignSeconds,
                        last.composeSeconds, radius, last.peakKb / 1024, best / baseline);
            std::fflush(stdout);
        }
    }
    return 0;
}
