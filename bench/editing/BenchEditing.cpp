// bench_editing: what a photographer waits for on the editing page of the real window (off screen).
//  1. An adjustment slider step (strength, exposure ... vibrance, clips, sharpening) from the value change to
//     the picture redrawn, exposure highlight on: the fast preview (about 0.3 MP) and a preview of about 1
//     MP; then the fast preview again with the histogram and tone curve panels shown (floating, so that the
//     picture keeps its size), which measure every picture shown.
//  2. An operator slider released to the new preview shown, fast preview, every operator with sliders and
//     positions -100, -50, 0, 50, 100; beside it the engine's own time for the same stages (computePreview
//     from the tone-mapping stage on a copy of the picture's engine), so that what the window adds shows.
//  3. The six thumbnails of default.xml for a 1080p light image: from the new source to all shown, and from a
//     stop request to every render ended.
// The machine's load (1, 5 and 15 minutes) is printed before and after.
//
// usage: bench_editing [--rounds N] [--only adjustments|panels|operators|thumbnails] [--operators 0,1,2,4]

#include "ScriptedMessageService.h"
#include "TestEnvironment.h"
#include "app/AppIdentity.h"
#include "app/ImageMemory.h"
#include "app/Settings.h"
#include "tonemap/ControlMapping.h"
#include "ui/EditingController.h"
#include "ui/EditingPanel.h"
#include "ui/LumoraV2.h"
#include "ui/PresetImage.h"
#include "ui/PresetStrips.h"
#include "ui/SharpestImageSelection.h"
#include "ui/Workspace.h"

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QSlider>
#include <QThread>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace lumora;

void printLoad(const char* when) {
    QFile f(QStringLiteral("/proc/loadavg"));
    const QByteArray load = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
    std::printf("load average %s: %s\n", when, load.constData());
}

struct Stats {
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    double median() {
        std::sort(ms.begin(), ms.end());
        return ms.empty() ? 0.0 : ms[ms.size() / 2];
    }
    double max() const { return ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()); }
};

double sinceMs(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// Waits as the window's own event loop does: asleep until an event comes (a spinning wait would take a core
// from the renders it waits for). A 10 ms timer bounds each sleep.
bool waitUntil(const std::function<bool()>& done, qint64 limitMs = 120000) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(10);
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A 1920 x 1080 16-bit photo with gradients, fine texture and a bright disc: every operator has work.
QString writeLightPhoto(const QString& dir) {
    cv::Mat photo(1080, 1920, CV_16UC3);
    cv::RNG rng(14);
    for (int y = 0; y < photo.rows; ++y)
        for (int x = 0; x < photo.cols; ++x) {
            const double base = 2000.0 + 40000.0 * x / photo.cols * y / photo.rows;
            const double texture = 3000.0 * std::sin(x * 0.3) * std::cos(y * 0.21);
            photo.at<cv::Vec3w>(y, x) = cv::Vec3w(
                cv::saturate_cast<ushort>(base + texture), cv::saturate_cast<ushort>(base * 0.8 + texture),
                cv::saturate_cast<ushort>(base * 0.6 + rng.uniform(0, 2000)));
        }
    cv::circle(photo, cv::Point(1400, 300), 150, cv::Scalar::all(65535), cv::FILLED);
    const QString path = dir + QStringLiteral("/light.png");
    cv::imwrite(path.toStdString(), photo);
    return path;
}

struct Window {
    std::unique_ptr<LumoraV2> w;
    SharpestImageSelection* picture() const { return w->model().workspace()->edited.data(); }
    bool rendered() const {
        return waitUntil([this] { return picture() && !picture()->rendering(); });
    }
};

// The photo opened in Classic, in a window of the given size, its first preview rendered.
Window open(const QString& photo, QSize size, bool fast) {
    settings::write(settings::FastPreviewChecked, fast);
    Window win{std::make_unique<LumoraV2>(std::make_shared<test::ScriptedMessageService>())};
    win.w->resize(size);
    win.w->show();
    // The View panels float, so that showing them leaves the picture area as it is.
    for (QDockWidget* dock : win.w->findChildren<QDockWidget*>())
        dock->setFloating(true);
    QApplication::processEvents();
    if (!win.w->openMediaByPath(photo) || !win.rendered()) {
        std::fprintf(stderr, "bench_editing: cannot open %s\n", qPrintable(photo));
        std::exit(1);
    }
    return win;
}

const std::pair<const char*, ControlField> kAdjustments[] = {
    {"horizontalSlider_TMStrength", &ControlPositions::strength},
    {"horizontalSlider_TMExposition", &ControlPositions::exposure},
    {"horizontalSlider_TMContrast", &ControlPositions::contrast},
    {"horizontalSlider_TMHighlights", &ControlPositions::highlights},
    {"horizontalSlider_TMShadows", &ControlPositions::shadows},
    {"horizontalSlider_TMWhites", &ControlPositions::whites},
    {"horizontalSlider_TMBlacks", &ControlPositions::blacks},
    {"horizontalSlider_TMHue", &ControlPositions::hue},
    {"horizontalSlider_TMSaturation", &ControlPositions::saturation},
    {"horizontalSlider_TMVibrance", &ControlPositions::vibrance},
    {"horizontalSlider_TMBlackClip", &ControlPositions::blackClip},
    {"horizontalSlider_TMWhiteClip", &ControlPositions::whiteClip},
    {"horizontalSlider_TMSharpeningAmount", &ControlPositions::sharpeningAmount},
    {"horizontalSlider_TMSharpeningRadius", &ControlPositions::sharpeningRadius}};

void benchAdjustments(const QString& photo, QSize size, bool fast, int rounds, bool panels = false) {
    settings::write(settings::ShowHistogramPanel, panels);
    settings::write(settings::ShowToneCurvePanel, panels);
    Window win = open(photo, size, fast);
    const cv::Mat preview = win.picture()->preview();
    std::printf("adjustment step to the picture redrawn, %s preview %dx%d (%.2f MP), highlight on%s:\n",
                fast ? "fast" : "full", preview.cols, preview.rows, preview.total() / 1e6,
                panels ? ", histogram and tone curve shown" : "");
    Stats all, allEngine;
    for (const auto& [name, field] : kAdjustments) {
        auto* slider = win.w->findChild<QSlider*>(QString::fromLatin1(name));
        Stats one, engine;
        for (int r = 0; r < rounds; ++r)
            for (int step = 1; step <= 10; ++step) {
                const int v =
                    std::clamp(slider->minimum() + (step * 7 + r) % (slider->maximum() - slider->minimum()),
                               slider->minimum(), slider->maximum());
                // The engine's part: the same stages on a copy, without the window.
                ToneMapEngine copy(win.picture()->engine());
                applyControlPosition(copy, field, v, false);
                const int stage = copy.pendingStage();
                QElapsedTimer e;
                e.start();
                copy.computePreview(stage, true);
                engine.add(sinceMs(e));
                allEngine.add(engine.ms.back());

                QElapsedTimer t;
                t.start();
                slider->setValue(v);
                QApplication::processEvents(); // the label repaints
                one.add(sinceMs(t));
                all.add(one.ms.back());
                if (win.picture()->rendering())
                    std::printf("  (a render started for %s)\n", name);
            }
        std::printf("  %-40s median %6.1f ms  max %6.1f ms   (engine alone median %6.1f ms)\n", name,
                    one.median(), one.max(), engine.median());
    }
    std::printf("  all steps: median %.1f ms, max %.1f ms (engine alone median %.1f ms, max %.1f ms)\n",
                all.median(), all.max(), allEngine.median(), allEngine.max());
    // The window's own part: the preview converted, marked, handed to the label and drawn.
    Stats display, drawing;
    for (int i = 0; i < 20 * rounds; ++i) {
        QElapsedTimer t;
        t.start();
        win.w->editing().displayImage();
        display.add(sinceMs(t));
        QApplication::processEvents();
        drawing.add(sinceMs(t) - display.ms.back());
    }
    std::printf(
        "  showing the preview alone: %.1f ms to the label (max %.1f ms), then %.1f ms drawing (max %.1f)\n",
        display.median(), display.max(), drawing.median(), drawing.max());
}

void benchOperators(const QString& photo, QSize size, int rounds, const std::vector<int>& chosen) {
    Window win = open(photo, size, true);
    EditingPanel& panel = win.w->editing().panel();
    struct Op {
        int index;
        std::vector<const char*> sliders;
    };
    const Op ops[] = {
        {0, {"horizontalSlider_TMAlpha", "horizontalSlider_TMBeta"}},
        {1, {"horizontalSlider_TM2_Alpha"}},
        {2, {"horizontalSlider_TM4_Alpha", "horizontalSlider_TM4_Beta", "horizontalSlider_TM4_Gamma"}},
        {4, {"horizontalSlider_TM3_Alpha", "horizontalSlider_TM3_Beta", "horizontalSlider_TM3_Gamma"}}};
    std::printf("operator slider released to the new preview, fast preview:\n");
    for (const Op& op : ops) {
        if (std::find(chosen.begin(), chosen.end(), op.index) == chosen.end())
            continue;
        panel.operatorChosen(EditingPanel::comboIndexOf(op.index));
        win.rendered();
        const cv::Mat preview = win.picture()->preview();
        Stats window, engine, thread;
        for (const char* name : op.sliders) {
            auto* slider = win.w->findChild<QSlider*>(QString::fromLatin1(name));
            for (int r = 0; r < rounds; ++r)
                for (int v : {-100, -50, 0, 50, 100}) {
                    if (slider->value() == v)
                        slider->setValue(v == 0 ? 1 : 0), win.rendered();
                    // The same stages on a copy of the engine, without the window.
                    ToneMapEngine copy(win.picture()->engine());
                    std::array<int, 3> positions =
                        win.picture()->positions().operatorSliders[std::size_t(op.index)];
                    const int element =
                        int(std::find(op.sliders.begin(), op.sliders.end(), name) - op.sliders.begin());
                    positions[std::size_t(element)] = v;
                    applyOperatorPositions(copy, op.index, positions, false);
                    QElapsedTimer e;
                    e.start();
                    copy.computePreview(ToneMapEngine::StageToneMap, true);
                    engine.add(sinceMs(e));

                    QElapsedTimer t;
                    t.start();
                    slider->setValue(v);
                    std::atomic<qint64> ended{-1};
                    const QMetaObject::Connection end =
                        QObject::connect(&win.picture()->document(), &PictureDocument::renderFinished,
                                         [&] { ended = t.nsecsElapsed(); });
                    win.rendered();
                    QObject::disconnect(end);
                    if (ended >= 0)
                        thread.add(double(ended) / 1e6);
                    QApplication::processEvents();
                    window.add(sinceMs(t));
                }
        }
        std::printf("  operator %d, preview %dx%d (%.2f MP): window median %6.0f ms max %6.0f ms (its render"
                    " handed over at %6.0f ms); engine alone median %6.0f ms max %6.0f ms\n",
                    op.index, preview.cols, preview.rows, preview.total() / 1e6, window.median(),
                    window.max(), thread.median(), engine.median(), engine.max());
    }
}

void benchThumbnails(const QString& photo, int rounds) {
    Window win = open(photo, QSize(1280, 800), false);
    PresetStrips& strips = win.w->editing().strips();
    const cv::Mat light = win.picture()->image();
    const auto shown = [&] {
        for (PresetImage* p : strips.builtIn())
            if (p->rendering() || !p->hasThumbnail())
                return false;
        return true;
    };
    Stats all, stop;
    for (int r = 0; r < rounds; ++r) {
        strips.build(false); // default.xml, nothing rendered yet
        QElapsedTimer t;
        t.start();
        strips.setSource(light);
        waitUntil(shown);
        all.add(sinceMs(t));

        // A new request while they render: how long until every render has stopped.
        strips.build(false);
        strips.setSource(light);
        QThread::msleep(2);
        QElapsedTimer s;
        s.start();
        for (PresetImage* p : strips.builtIn())
            p->stopWork();
        // Until every render's end has reached the window.
        waitUntil([&] {
            return std::none_of(strips.builtIn().begin(), strips.builtIn().end(),
                                [](PresetImage* p) { return p->rendering(); });
        });
        stop.add(sinceMs(s));
    }
    const cv::Size thumb = ToneMapEngine::thumbnailSize();
    std::printf("%zu thumbnails (%dx%d) of a %dx%d light image: all shown median %.0f ms max %.0f ms;"
                " stopped median %.1f ms max %.1f ms\n",
                strips.builtIn().size(), thumb.width, thumb.height, light.cols, light.rows, all.median(),
                all.max(), stop.median(), stop.max());
}

} // namespace

int main(int argc, char** argv) {
    test::IsolatedUserStore store; // settings, presets and log of its own
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyIdentity(app);
    // Large matrices as the window's program allocates them.
    useLargePagesForImages();
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures appear as they are measured
    int rounds = 5;
    std::vector<int> operators = {0, 1, 2, 4};
    QString only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--operators") == 0) {
            operators.clear();
            for (const QString& o : QString::fromLocal8Bit(argv[i + 1]).split(QLatin1Char(',')))
                operators.push_back(o.toInt());
        } else if (qstrcmp(argv[i], "--only") == 0)
            only = QString::fromLocal8Bit(argv[i + 1]);
    }
    settings::write(settings::WindowMode, 2);
    settings::write(settings::HighlightOverExposed, true);
    settings::write(settings::HighlightUnderExposed, true);
    const QString photo = writeLightPhoto(store.root());

    printLoad("before");
    // Window sizes chosen for a picture area of about 0.67 MP (fast preview 1.5 times smaller each way: about
    // 0.3 MP) and of about 1 MP.
    if (only.isEmpty() || only == QLatin1String("adjustments")) {
        benchAdjustments(photo, QSize(1380, 860), true, rounds);
        benchAdjustments(photo, QSize(1700, 1080), false, rounds);
    }
    if (only.isEmpty() || only == QLatin1String("adjustments") || only == QLatin1String("panels")) {
        if (only == QLatin1String("panels"))
            benchAdjustments(photo, QSize(1380, 860), true, rounds);
        benchAdjustments(photo, QSize(1380, 860), true, rounds, true);
    }
    if (only.isEmpty() || only == QLatin1String("operators"))
        benchOperators(photo, QSize(1380, 860), rounds, operators);
    if (only.isEmpty() || only == QLatin1String("thumbnails"))
        benchThumbnails(photo, rounds);
    printLoad("after");
    return 0;
}
