// bench_window: how responsive the main window stays while it works. A 10 ms timer runs on the window's
// thread throughout; the longest gap between two of its ticks is the longest time the window processed no
// event. Measured during a Pro stacking run on the 1080p scene clip and a 12-megapixel export (16-bit TIFF,
// with the EXIF copy), and, for each, the time from pressing the cancel button to the work having stopped.
// An export is cancelled at fixed times after its start and once 300 ms into the write itself; there the
// window is back in editing at once, and the cancelled writer ends on its own later ("writer ended").
//
// usage: bench_window [--media DIR] [--frames N]   (N frames each side of the chosen one, 2 by default)
// Runs off screen with a private settings store; the clip comes from lumora-testmedia.

#include "PrivateHome.h"
#include "ScriptedMessageService.h"
#include "app/AppIdentity.h"
#include "app/Settings.h"
#include "ui/ExportController.h"
#include "ui/LumoraV2.h"
#include "ui/SaveForm.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/StackingController.h"
#include "ui/Workspace.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <functional>

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

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    usePrivateHomeOffScreen(home);
    QApplication app(argc, argv);
    applyIdentity(app);
    QString media = QStringLiteral(LUMORA_DEFAULT_TESTMEDIA_DIR);
    int frames = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--media") == 0)
            media = QString::fromLocal8Bit(argv[i + 1]);
        else if (qstrcmp(argv[i], "--frames") == 0)
            frames = std::max(0, atoi(argv[i + 1]));
    }
    const QString clip = media + QStringLiteral("/scene_1080p.mp4");
    auto messages = std::make_shared<test::ScriptedMessageService>();
    settings::write(settings::WindowMode, 3);

    std::printf("stacking, 1080p scene clip, %d frames, quality fast:\n", 2 * frames + 1);
    {
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

    std::printf("export, 12-megapixel photo to a 16-bit TIFF:\n");
    {
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
