// lumora-bench-frame-quality: how long the frame-quality strip takes for a one-minute 1080p clip, next to
// the baseline of decoding every frame of it with the same decoder and doing nothing else.
//
//   lumora-bench-frame-quality [--runs N] [--workers W] [--clip FILE]
//
// Without --clip, a 60 s 1080p25 H.264 clip with grain is made with ffmpeg in /tmp/lumora-bench-quality on
// first use and kept.

#include "media/FrameSource.h"
#include "sharpness/FrameQuality.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
    double min = 0.0, median = 0.0;
};

Stats timeRuns(int runs, const std::function<void()>& body) {
    std::vector<double> t;
    for (int r = 0; r < runs; ++r) {
        const Clock::time_point start = Clock::now();
        body();
        t.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    const std::size_t mid = t.size() / 2;
    return {t.front(), t.size() % 2 ? t[mid] : (t[mid - 1] + t[mid]) / 2.0};
}

std::string makeClip() {
    const QDir work(QStringLiteral("/tmp/lumora-bench-quality"));
    QDir().mkpath(work.path());
    const QString path = work.filePath(QStringLiteral("minute_1080p.mp4"));
    if (QFileInfo::exists(path))
        return path.toStdString();
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return {};
    std::printf("making %s with ffmpeg...\n", qPrintable(path));
    std::fflush(stdout);
    const QString partial = work.filePath(QStringLiteral("partial.mp4"));
    QProcess p;
    p.start(ffmpeg, {"-hide_banner", "-loglevel",
                     "error",        "-y",
                     "-f",           "lavfi",
                     "-i",           "testsrc2=size=1920x1080:rate=25:duration=60,noise=alls=8:allf=t",
                     "-c:v",         "libx264",
                     "-preset",      "veryfast",
                     "-g",           "50",
                     "-bf",          "3",
                     "-b:v",         "16M",
                     "-pix_fmt",     "yuv420p",
                     "-f",           "mp4",
                     partial});
    const bool ok = p.waitForFinished(1800000) && p.exitStatus() == QProcess::NormalExit &&
                    p.exitCode() == 0 && QFile::rename(partial, path);
    return ok ? path.toStdString() : std::string();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = 3;
    lumora::FrameQualityOptions options;
    std::string clip;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--workers"))
            options.workers = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--clip"))
            clip = args[i + 1].toStdString();
    }
    if (clip.empty())
        clip = makeClip();
    if (clip.empty()) {
        std::fprintf(stderr, "lumora-bench-frame-quality: no clip (ffmpeg missing or failed)\n");
        return 1;
    }
    int frames = 0;
    const Stats decode = timeRuns(runs, [&] {
        lumora::FrameSource source(clip);
        frames = source.frameCount();
        for (int first = 0; first < frames; first += options.batch)
            source.framesInRange(first, std::min(frames - 1, first + options.batch - 1));
    });
    std::size_t computed = 0;
    const Stats strip = timeRuns(runs, [&] {
        lumora::RunControl run;
        computed = lumora::computeFrameQuality({clip}, options, run).frames.size();
    });
    std::printf("%s: %d frames, %d worker(s), %d run(s)\n", clip.c_str(), frames, options.workers, runs);
    std::printf("  %-40s min %7.2f s   median %7.2f s\n", "decode every frame (baseline)", decode.min,
                decode.median);
    std::printf("  %-40s min %7.2f s   median %7.2f s   (%zu frames)\n", "frame-quality strip", strip.min,
                strip.median, computed);
    std::printf("  %-40s %.2fx\n", "strip / decode", decode.median > 0 ? strip.median / decode.median : 0.0);
    return computed == std::size_t(frames) ? 0 : 1;
}
