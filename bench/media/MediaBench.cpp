// lumora-bench-media: speed of video frame access. Every figure is the min and median of several runs, next
// to a baseline measured in the same run on the same file.
//
//   lumora-bench-media [--runs N] [--work DIR] [--long CLIP]
//
// The 1080p H.264 clips are made with ffmpeg into DIR (default /tmp/lumora-bench-media) on first use and
// kept.

#include "media/ImagesSequence.h"
#include "media/VideoDecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Stats {
    double min = 0.0;
    double median = 0.0;
};

Stats statsOf(std::vector<double> values) {
    Stats s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.min = values.front();
    const size_t mid = values.size() / 2;
    s.median = values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
    return s;
}

// Runs `body` `runs` times and returns the times in milliseconds.
Stats timeRuns(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const Clock::time_point start = Clock::now();
        body();
        times.push_back(millisecondsSince(start));
    }
    return statsOf(times);
}

void printStats(const char* what, const Stats& s, const char* unit = "ms") {
    std::printf("  %-58s min %9.2f %s   median %9.2f %s\n", what, s.min, unit, s.median, unit);
}

void printRatio(const char* what, double ours, double baseline) {
    std::printf("  %-58s %.2fx\n", what, baseline > 0.0 ? ours / baseline : 0.0);
}

bool runFfmpeg(const QStringList& args) {
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return false;
    QProcess process;
    process.start(ffmpeg, QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                      QStringLiteral("error"), QStringLiteral("-y")} +
                              args);
    return process.waitForFinished(1800000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A 1080p H.264 clip with B-frames and fine grain, so decoding costs what camera footage costs.
std::string makeClip(const QDir& work, const QString& name, int seconds, int gop) {
    const QString path = work.filePath(name);
    if (QFileInfo::exists(path))
        return path.toStdString();
    std::printf("making %s with ffmpeg...\n", qPrintable(path));
    std::fflush(stdout);
    const QString source =
        QStringLiteral("testsrc2=size=1920x1080:rate=25:duration=%1,noise=alls=8:allf=t").arg(seconds);
    const QString partial = work.filePath(QStringLiteral("partial-") + name);
    QStringList args{"-f", "lavfi", "-i", source, "-c:v", "libx264", "-preset", "veryfast"};
    args += QStringList{"-g", QString::number(gop), "-bf", "3", "-x264-params", "scenecut=0"};
    args += QStringList{"-b:v", "16M", "-maxrate", "16M", "-bufsize", "32M", "-pix_fmt", "yuv420p", partial};
    const bool ok = runFfmpeg(args) && QFile::rename(partial, path);
    return ok ? path.toStdString() : std::string();
}

void benchSequential(const std::string& clip, int runs) {
    std::printf("\nSequential decode, %s\n", clip.c_str());
    int count = 0;
    // Both readers are open before the clock starts: this measures decoding and conversion only.
    std::vector<double> cvTimes, oursTimes;
    for (int r = 0; r < runs; ++r) {
        {
            cv::VideoCapture capture(clip, cv::CAP_FFMPEG);
            cv::Mat frame;
            const Clock::time_point start = Clock::now();
            int n = 0;
            while (capture.read(frame))
                ++n;
            cvTimes.push_back(millisecondsSince(start));
            count = n;
        }
        {
            lumora::ImagesSequence sequence(clip);
            const Clock::time_point start = Clock::now();
            for (int i = 0; i < sequence.frameCount(); ++i)
                sequence.getCvImageAt(i, false);
            oursTimes.push_back(millisecondsSince(start));
        }
    }
    const Stats cvStats = statsOf(cvTimes);
    const Stats ours = statsOf(oursTimes);
    std::printf("  %d frames\n", count);
    printStats("cv::VideoCapture::read loop (baseline)", cvStats);
    printStats("ImagesSequence::getCvImageAt(0..n-1)", ours);
    printStats("  per frame, baseline", {cvStats.min / count, cvStats.median / count});
    printStats("  per frame, ImagesSequence", {ours.min / count, ours.median / count});
    printRatio("ratio ImagesSequence / OpenCV (median)", ours.median, cvStats.median);
}

// Median time per frame of decoding frames one after another on an open sequence.
double sequentialFrameTime(lumora::ImagesSequence& sequence, int first, int count) {
    sequence.getCvImageAt(first - 1, false); // positions the decoder just before
    const Clock::time_point start = Clock::now();
    for (int i = first; i < first + count; ++i)
        sequence.getCvImageAt(i, false);
    return millisecondsSince(start) / count;
}

void benchRandomAccess(const std::string& clip, const char* label, int runs, int accesses) {
    std::printf("\nRandom access, %s (%s)\n", clip.c_str(), label);
    lumora::ImagesSequence sequence(clip);
    const int n = sequence.frameCount();
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::vector<double> perRunMedian, perRunOpenCv, perRunSequential;
    cv::VideoCapture capture(clip, cv::CAP_FFMPEG);
    for (int r = 0; r < runs; ++r) {
        std::shuffle(order.begin(), order.end(), std::mt19937(static_cast<unsigned>(100 + r)));
        std::vector<double> times, cvTimes;
        for (int k = 0; k < accesses; ++k) {
            const int index = order[static_cast<size_t>(k)];
            Clock::time_point start = Clock::now();
            sequence.getCvImageAt(index, false);
            times.push_back(millisecondsSince(start));
            // OpenCV's own seek, for scale only: on real clips it may land on a neighbouring frame.
            start = Clock::now();
            cv::Mat frame;
            capture.set(cv::CAP_PROP_POS_FRAMES, index);
            capture.read(frame);
            cvTimes.push_back(millisecondsSince(start));
        }
        perRunMedian.push_back(statsOf(times).median);
        perRunOpenCv.push_back(statsOf(cvTimes).median);
        perRunSequential.push_back(sequentialFrameTime(sequence, n / 2, 30));
    }
    const Stats ours = statsOf(perRunMedian);
    const Stats sequential = statsOf(perRunSequential);
    std::printf("  %d frames, %d shuffled accesses per run; per-run median time per access\n", n, accesses);
    printStats("sequential decode per frame (baseline)", sequential);
    printStats("ImagesSequence::getCvImageAt, random index (exact)", ours);
    printStats("cv::VideoCapture set(POS_FRAMES)+read (not exact)", statsOf(perRunOpenCv));
    printRatio("ratio random access / sequential frame (median)", ours.median, sequential.median);
}

// Process CPU time in milliseconds (all threads): less disturbed than wall time when other jobs share the
// machine.
double cpuMilliseconds() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void benchWindow(const std::string& clip, const char* label, int runs, int windows) {
    std::printf("\n17-frame window, %s (%s)\n", clip.c_str(), label);
    lumora::ImagesSequence sequence(clip);
    const int n = sequence.frameCount();
    std::vector<double> windowRun, sequentialRun, windowCpuRun, sequentialCpuRun;
    for (int r = 0; r < runs; ++r) {
        std::mt19937 random(static_cast<unsigned>(7 + r));
        std::uniform_int_distribution<int> pick(9, n - 9);
        std::vector<double> windowTimes, sequentialTimes;
        double windowCpu = 0.0, sequentialCpu = 0.0;
        for (int w = 0; w < windows; ++w) {
            const int centre = pick(random);
            // Window read from wherever the decoder stood (far away, as after the player moved).
            sequence.getCvImageAt((centre + n / 2) % n, false);
            double cpu = cpuMilliseconds();
            Clock::time_point start = Clock::now();
            const auto frames = sequence.getCvImagesInRange(centre - 8, centre + 8);
            windowTimes.push_back(millisecondsSince(start));
            windowCpu += cpuMilliseconds() - cpu;
            // The same 17 frames decoded one after another with the decoder standing just before them.
            sequence.getCvImageAt(centre - 9, false);
            cpu = cpuMilliseconds();
            start = Clock::now();
            for (int i = centre - 8; i <= centre + 8; ++i)
                sequence.getCvImageAt(i, false);
            sequentialTimes.push_back(millisecondsSince(start));
            sequentialCpu += cpuMilliseconds() - cpu;
        }
        windowRun.push_back(statsOf(windowTimes).median);
        sequentialRun.push_back(statsOf(sequentialTimes).median);
        windowCpuRun.push_back(windowCpu / windows);
        sequentialCpuRun.push_back(sequentialCpu / windows);
    }
    const Stats window = statsOf(windowRun);
    const Stats sequential = statsOf(sequentialRun);
    std::printf("  %d windows per run; per-run median (wall), per-run mean (CPU)\n", windows);
    printStats("17 frames decoded sequentially (baseline)", sequential);
    printStats("getCvImagesInRange(c-8, c+8) after a far seek", window);
    printStats("CPU, 17 frames decoded sequentially (baseline)", statsOf(sequentialCpuRun));
    printStats("CPU, getCvImagesInRange(c-8, c+8)", statsOf(windowCpuRun));
    printRatio("ratio window / sequential, wall (median; target <= 1.5)", window.median, sequential.median);
    printRatio("ratio window / sequential, CPU (median)", statsOf(windowCpuRun).median,
               statsOf(sequentialCpuRun).median);
}

void benchOpen(const std::string& clip, int runs) {
    std::printf("\nOpening, %s\n", clip.c_str());
    int frames = 0;
    const Stats ours = timeRuns(runs, [&] {
        lumora::ImagesSequence sequence(clip);
        frames = sequence.frameCount();
    });
    // The counting that OpenCV's reader allows: first frame, then a seek 20 frames before the listed end and
    // grabs until the stream ends.
    int cvFrames = 0;
    const Stats baseline = timeRuns(runs, [&] {
        cv::VideoCapture capture(clip, cv::CAP_FFMPEG);
        cv::Mat frame;
        capture.read(frame);
        const int listed = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT));
        const int start = std::max(0, listed - 20);
        capture.set(cv::CAP_PROP_POS_FRAMES, start);
        int grabbed = 0;
        while (capture.grab())
            ++grabbed;
        cvFrames = start + grabbed;
    });
    std::printf("  %d frames (OpenCV seek and count: %d)\n", frames, cvFrames);
    printStats("OpenCV open + first frame + count last 20 (baseline)", baseline);
    printStats("ImagesSequence(path)", ours);
    printRatio("ratio ImagesSequence / OpenCV (median)", ours.median, baseline.median);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures appear as they are measured
    int runs = 5;
    QString workPath = QDir::temp().filePath(QStringLiteral("lumora-bench-media"));
    QString longClip;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--work") && i + 1 < args.size())
            workPath = args[++i];
        else if (args[i] == QLatin1String("--long") && i + 1 < args.size())
            longClip = args[++i];
        else {
            std::fprintf(stderr, "usage: lumora-bench-media [--runs N] [--work DIR] [--long CLIP]\n");
            return 2;
        }
    }
    QDir work(workPath);
    if (!work.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "lumora-bench-media: cannot create %s\n", qPrintable(workPath));
        return 1;
    }
    const std::string gop12 = makeClip(work, QStringLiteral("gop12_1080p.mp4"), 12, 12);
    const std::string gop250 = makeClip(work, QStringLiteral("gop250_1080p.mp4"), 12, 250);
    const std::string longest = longClip.isEmpty()
                                    ? makeClip(work, QStringLiteral("long60s_1080p.mp4"), 60, 50)
                                    : longClip.toStdString();
    if (gop12.empty() || gop250.empty() || longest.empty()) {
        std::fprintf(stderr, "lumora-bench-media: ffmpeg could not make the clips\n");
        return 1;
    }
    std::printf("lumora-bench-media: %d runs\n", runs);
    benchSequential(gop12, runs);
    benchRandomAccess(gop12, "GOP 12", runs, 40);
    benchRandomAccess(gop250, "GOP 250", runs, 15);
    benchWindow(gop12, "GOP 12", runs, 12);
    benchWindow(gop250, "GOP 250", runs, 6);
    benchOpen(longest, runs);
    return 0;
}
