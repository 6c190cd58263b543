// bench_window: how responsive the main window stays while it works. A 10 ms timer runs on the window's
// thread throughout; the longest gap between two of its ticks is the longest time the window processed no
// event. Measured during a Pro stacking run on the 1080p scene clip and a 12-megapixel export (16-bit TIFF,
// with the EXIF copy), and, for each, the time from pressing the cancel button to the work having stopped.
// An export is cancelled at fixed times after its start and once 300 ms into the write itself; there the
// window is back in editing at once, and the cancelled writer ends on its own later ("writer ended").
//
// The strip stage opens a clip and scrubs, plays and closes it while the frame-quality strip computes in
// the background (or, with --strip off, with the strip turned off by its setting, for a paired comparison):
// the longest gap of each step, when the strip's figures came, and that closing mid-computation leaves no
// run behind ("run gone": from the close until no computation runs; the thread counts before the open and
// after the close include idle pool threads that expire later).
//
// usage: bench_window [--media DIR] [--frames N] [--stage all|stacking|export|strip] [--strip on|off]
//                     [--clip NAME] [--runs N]
// (N frames each side of the chosen one, 2 by default; the strip stage on scene_1080p.mp4, 3 runs.)
// Runs off screen with a private settings store; the clips come from lumora-testmedia.

#include "PrivateHome.h"
#include "ScriptedMessageService.h"
#include "app/AppIdentity.h"
#include "app/Settings.h"
#include "ui/ExportController.h"
#include "ui/FrameQualityController.h"
#include "ui/LumoraV2.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/QualityStripWidget.h"
#include "ui/SaveForm.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/StackingController.h"
#include "ui/Workspace.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using namespace lumora;

// Longest gap between two ticks of a 10 ms timer while it lives.
class GapMeter {
public:
    GapMeter() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    qint64 longestMs() const { return std::max(longest_, clock_.elapsed() - last_); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

// Processes events until `done`; elapsed milliseconds, or -1 after `limitMs`.
qint64 waitUntil(const std::function<bool()>& done, qint64 limitMs = 30 * 60 * 1000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return -1;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return clock.elapsed();
}

// Accepts every saving-options dialog as it stands (16 bits for TIFF).
void acceptSaveForms(QTimer& timer) {
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [] {
        if (auto* form = qobject_cast<SaveForm*>(QApplication::activeModalWidget()))
            form->accept();
    });
    timer.start();
}

// The parameter page of frame 25 with `frames` neighbours each side, quality fast.
void defineRun(LumoraV2& w, int frames) {
    w.model().workspace()->sequence()->setCurrentFrame(25, true);
    w.flow().PushButtonSelectImageNextClicked();
    w.findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingBefore"))->setValue(frames);
    w.findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingAfter"))->setValue(frames);
    w.findChild<QComboBox*>(QStringLiteral("comboBox_Quality"))->setCurrentIndex(0);
    QApplication::processEvents();
}

// Threads of this process, from the kernel's own accounting.
int threadCount() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    return -1;
}

qint64 median(std::vector<qint64> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

struct StripRun {
    bool opened = false;
    qint64 openGap = 0, scrubGap = 0, playGap = 0, closeGap = 0;
    qint64 stripMs = -1;     // from the open to the strip's figures (-1: none came, as with the strip off)
    qint64 scrubMs = 0;      // the 40 seeks
    bool overlapped = false; // the strip was still computing when the scrubbing ended
    int played = 0;          // frames the play loop showed
    qint64 closeMs = 0;      // the close itself
    qint64 runGoneMs = 0; // from the close until no computation runs (-1: one was still running after 10 s)
};

// Open, scrub across the clip (a seek decoded every 25 ms, as a drag whose mouse keeps stopping), play 1.5 s,
// then open again and close at once, while the strip computes.
StripRun stripRun(LumoraV2& w, const QString& clip) {
    StripRun r;
    QElapsedTimer sinceOpen;
    // Looks for the strip's figures every 10 ms, also while the play loop runs.
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (r.stripMs < 0 && !w.frameQuality().strip()->frames().empty())
            r.stripMs = sinceOpen.elapsed();
    });
    watch.start();
    {
        GapMeter meter;
        sinceOpen.start();
        r.opened = w.openMediaByPath(clip);
        if (!r.opened)
            return r;
        r.openGap = meter.longestMs();
    }
    PlayerController& player = w.player();
    const int n = w.model().workspace()->sequence()->frameCount();
    {
        GapMeter meter;
        QElapsedTimer clock;
        clock.start();
        for (int k = 0; k < 40; ++k) {
            player.showFrameIndex((k * 7) % std::max(1, n));
            player.TimerTimeoutShowFrameIndex();
            waitUntil([] { return false; }, 25);
        }
        r.scrubMs = clock.elapsed();
        r.scrubGap = meter.longestMs();
        r.overlapped = w.frameQuality().computing();
    }
    {
        player.showFrameIndex(0);
        player.TimerTimeoutShowFrameIndex();
        QTimer::singleShot(1500, &player, [&player] { player.pauseIfPlaying(); });
        GapMeter meter;
        player.playPauseVideo();
        r.played = w.model().workspace()->sequence()->currentIndex();
        r.playGap = meter.longestMs();
    }
    waitUntil([&] { return !w.frameQuality().computing(); }, 10 * 60 * 1000);
    waitUntil([] { return false; }, 20); // the watch's last look

    // Opened again and closed while the strip computes: the close waits for nothing and the run ends soon.
    w.opening().closeWorkspace();
    w.openMediaByPath(clip);
    {
        GapMeter meter;
        QElapsedTimer clock;
        clock.start();
        w.opening().closeWorkspace();
        r.closeMs = clock.elapsed();
        r.closeGap = meter.longestMs();
        r.runGoneMs = waitUntil([&] { return !w.frameQuality().computing(); }, 10000);
    }
    return r;
}

int stripStage(const QString& media, const QString& clipName, bool stripOn, int runs,
               const std::shared_ptr<test::ScriptedMessageService>& messages) {
    const QString clip = media + QLatin1Char('/') + clipName;
    settings::write(settings::WindowMode, 1);
    std::printf("strip, %s, strip %s, %d runs (gaps in ms):\n", qPrintable(clipName), stripOn ? "on" : "off",
                runs);
    std::printf(
        "  run  open  scrub  play  close | scrub took  strip ready  computing after scrub  frames played "
        "| close  run gone  threads\n");
    std::vector<qint64> open, scrub, play, close;
    for (int i = 0; i < runs; ++i) {
        LumoraV2 w(messages);
        w.resize(1280, 800);
        w.show();
        const int threadsBefore = threadCount();
        const StripRun r = stripRun(w, clip);
        if (!r.opened) {
            std::fprintf(stderr, "bench_window: cannot open %s (run lumora-testmedia)\n", qPrintable(clip));
            return 1;
        }
        std::printf(
            "  %3d %5lld %6lld %5lld %6lld | %7lld ms  %8lld ms  %20s  %13d | %5lld %9lld  %d -> %d\n", i + 1,
            r.openGap, r.scrubGap, r.playGap, r.closeGap, r.scrubMs, r.stripMs, r.overlapped ? "yes" : "no",
            r.played, r.closeMs, r.runGoneMs, threadsBefore, threadCount());
        open.push_back(r.openGap);
        scrub.push_back(r.scrubGap);
        play.push_back(r.playGap);
        close.push_back(r.closeGap);
    }
    std::printf("  median longest gap (strip %s): open %lld, scrub %lld, play %lld, close %lld ms\n",
                stripOn ? "on" : "off", median(open), median(scrub), median(play), median(close));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    usePrivateHomeOffScreen(home);
    QApplication app(argc, argv);
    applyIdentity(app);
    QString media = QStringLiteral(LUMORA_DEFAULT_TESTMEDIA_DIR);
    int frames = 2;
    int runs = 3;
    QString stage = QStringLiteral("all");
    QString stripClip = QStringLiteral("scene_1080p.mp4");
    bool stripOn = true;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--media") == 0)
            media = QString::fromLocal8Bit(argv[i + 1]);
        else if (qstrcmp(argv[i], "--frames") == 0)
            frames = std::max(0, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--stage") == 0)
            stage = QString::fromLocal8Bit(argv[i + 1]);
        else if (qstrcmp(argv[i], "--strip") == 0)
            stripOn = qstrcmp(argv[i + 1], "off") != 0;
        else if (qstrcmp(argv[i], "--clip") == 0)
            stripClip = QString::fromLocal8Bit(argv[i + 1]);
        else if (qstrcmp(argv[i], "--runs") == 0)
            runs = std::max(1, atoi(argv[i + 1]));
    }
    const auto wanted = [&stage](const char* name) {
        return stage == QLatin1String("all") || stage == QLatin1String(name);
    };
    const QString clip = media + QStringLiteral("/scene_1080p.mp4");
    auto messages = std::make_shared<test::ScriptedMessageService>();
    // With --strip off no stage decodes the strip's frames beside its own work.
    settings::write(settings::FrameQualityStrip, stripOn);
    if (wanted("strip") && stripStage(media, stripClip, stripOn, runs, messages) != 0)
        return 1;
    settings::write(settings::WindowMode, 3);

    if (wanted("stacking")) {
        std::printf("stacking, 1080p scene clip, %d frames, quality fast:\n", 2 * frames + 1);
        LumoraV2 w(messages);
        w.resize(1280, 800);
        w.show();
        if (!w.openMediaByPath(clip)) {
            std::fprintf(stderr, "bench_window: cannot open %s (run lumora-testmedia)\n", qPrintable(clip));
            return 1;
        }
        qint64 runMs = 0;
        qint64 gap = 0;
        {
            defineRun(w, frames);
            GapMeter meter;
            w.stacking().PushButtonDefineParamsNextClicked();
            runMs =
                waitUntil([&] { return !w.stacking().running() && w.model().workspace()->state == Editing; });
            gap = meter.longestMs();
        }
        std::printf("  run to editing  %8lld ms, longest gap between events %4lld ms\n", runMs, gap);

        // A request lands wherever the run is: reading, aligning, composing or merging.
        for (const int after : {500, 1500, 3000, 6000}) {
            w.model().setState(SelectingFrame);
            w.model().setEdited(nullptr);
            defineRun(w, frames);
            w.stacking().PushButtonDefineParamsNextClicked();
            waitUntil([&] { return false; }, after);
            GapMeter meter;
            QElapsedTimer clock;
            clock.start();
            w.flow().PushButtonComputingCancelClicked(false);
            waitUntil([&] { return !w.stacking().running(); });
            std::printf("  cancel after %4d ms: stopped in %5lld ms, longest gap %4lld ms\n", after,
                        clock.elapsed(), meter.longestMs());
        }
    }

    if (wanted("export")) {
        std::printf("export, 12-megapixel photo to a 16-bit TIFF:\n");
        const QString photo = home.path() + QStringLiteral("/twelve.png");
        cv::Mat big(3000, 4000, CV_8UC3);
        cv::randu(big, 0, 255);
        cv::GaussianBlur(big, big, cv::Size(0, 0), 3.0);
        cv::imwrite(photo.toStdString(), big);
        settings::write(settings::WindowMode, 2);
        LumoraV2 w(messages);
        w.resize(1280, 800);
        w.show();
        if (!w.openMediaByPath(photo))
            return 1;
        waitUntil(
            [&] { return w.model().workspace()->edited && !w.model().workspace()->edited->rendering(); });
        QTimer forms;
        acceptSaveForms(forms);
        const QString out = home.path() + QStringLiteral("/out.tif");
        qint64 runMs = 0;
        qint64 gap = 0;
        {
            messages->fileNames = {{out}};
            GapMeter meter;
            w.exports().PushButtonEditingExportClicked(nullptr);
            runMs = waitUntil([&] { return !w.exports().running(); });
            gap = meter.longestMs();
        }
        std::printf("  export          %8lld ms, longest gap between events %4lld ms\n", runMs, gap);

        // A negative time counts from the start of the write instead of the start of the export.
        for (const int after : {300, 1500, 4000, -300}) {
            messages->fileNames = {{home.path() + QStringLiteral("/again.tif")}};
            w.exports().PushButtonEditingExportClicked(nullptr);
            if (after < 0)
                waitUntil([&] { return w.exports().writesPending(); });
            waitUntil([&] { return false; }, std::abs(after));
            const bool writing = w.exports().writesPending();
            GapMeter meter;
            QElapsedTimer clock;
            clock.start();
            w.flow().PushButtonComputingCancelClicked(true);
            waitUntil([&] { return !w.exports().running() && w.model().workspace()->state == Editing; });
            const qint64 stopped = clock.elapsed();
            const qint64 gap = meter.longestMs();
            waitUntil([&] { return !w.exports().writesPending(); });
            std::printf("  cancel %4d ms after the %s (%s): editing in %5lld ms, longest gap %4lld ms, "
                        "writer ended %5lld ms\n",
                        std::abs(after), after < 0 ? "write " : "export", writing ? "writing  " : "rendering",
                        stopped, gap, clock.elapsed());
        }
    }
    return 0;
}
