// bench_stacking: whole clip-to-light-image runs on the generated scene clips (opening and frame decoding
// included), 8 frames before and 8 after the chosen one, for the quality, alignment and motion choices.
// Every run is a child process, so its peak memory is its own. Prints min and median wall time per
// configuration, seconds per merged frame, where the time went, and the ratio to the plain long-exposure
// merge measured in the same run.
//
// usage: bench_stacking [--media DIR] [--reps N] [--clip NAME]... [--only TEXT]... [--full]
//   --only keeps the configurations whose name contains TEXT (the baseline always runs).
//   --full also runs the wide searches (fixed motion 30, automatic motion) on 4K, which take tens of minutes.

#include "app/Parallel.h"
#include "media/ImagesSequence.h"
#include "stacking/StackingEngine.h"

#include <QCoreApplication>
#include <QFileInfo>

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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the sequence's event-log calls use Qt's paths
    std::string media = LUMORA_DEFAULT_TESTMEDIA_DIR;
    std::vector<std::string> clips, only;
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
        else {
            std::fprintf(stderr,
                         "usage: bench_stacking [--media DIR] [--reps N] [--clip NAME]... [--full]\n");
            return 2;
        }
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
