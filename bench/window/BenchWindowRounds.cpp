// bench_window_rounds: what a long afternoon of Pro work costs in memory. One window stacks the 1080p scene
// clip again and again and exports each result as a 16-bit TIFF; every result stays in the Pro list, as it
// does for a photographer. After each round the process's resident size is printed, and at the end the
// growth per kept result from the second round on, which is what a session of fifty pictures multiplies.
//
// usage: bench_window_rounds [--media DIR] [--rounds N] [--frames N]   (30 rounds, 2 frames each side)
// Runs off screen with a private settings store; the clip comes from lumora-testmedia.

#include "PrivateHome.h"
#include "ScriptedMessageService.h"
#include "app/AppIdentity.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "ui/ExportController.h"
#include "ui/LumoraV2.h"
#include "ui/SaveForm.h"
#include "ui/SelectionFlowController.h"
#include "ui/StackingController.h"
#include "ui/StepsController.h"
#include "ui/Workspace.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using namespace lumora;

// Resident set size of this process in megabytes, from the kernel's own accounting.
double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1.0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1.0;
}

bool waitUntil(const std::function<bool()>& done, qint64 limitMs = 10 * 60 * 1000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    usePrivateHomeOffScreen(home);
    // As the window program does at start.
    returnLargeBuffersToTheSystem();
    QApplication app(argc, argv);
    applyIdentity(app);
    QString media = QStringLiteral(LUMORA_DEFAULT_TESTMEDIA_DIR);
    int rounds = 30;
    int frames = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--media") == 0)
            media = QString::fromLocal8Bit(argv[i + 1]);
        else if (qstrcmp(argv[i], "--rounds") == 0)
            rounds = std::max(2, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--frames") == 0)
            frames = std::max(0, atoi(argv[i + 1]));
    }
    const QString clip = media + QStringLiteral("/scene_1080p.mp4");
    auto messages = std::make_shared<test::ScriptedMessageService>();
    settings::write(settings::WindowMode, 3);

    LumoraV2 w(messages);
    w.resize(1280, 800);
    w.show();
    if (!w.openMediaByPath(clip)) {
        std::fprintf(stderr, "bench_window_rounds: cannot open %s (run lumora-testmedia)\n",
                     qPrintable(clip));
        return 1;
    }
    // Every saving-options dialog is accepted as it stands (16 bits for TIFF).
    QTimer forms;
    forms.setInterval(20);
    QObject::connect(&forms, &QTimer::timeout, [] {
        if (auto* form = qobject_cast<SaveForm*>(QApplication::activeModalWidget()))
            form->accept();
    });
    forms.start();

    std::printf("%d rounds of stacking %d frames of the 1080p scene clip and exporting a 16-bit TIFF:\n",
                rounds, 2 * frames + 1);
    std::printf("  opened         resident %7.1f MB\n", residentMb());
    double afterSecond = 0.0;
    double last = 0.0;
    for (int round = 1; round <= rounds; ++round) {
        // A different centre each round, so no round repeats the previous one's frames.
        w.model().workspace()->sequence()->setCurrentFrame(10 + round % 20, true);
        if (round == 1)
            w.flow().PushButtonSelectImageNextClicked();
        else
            w.steps().goToStep(2);
        if (w.model().workspace()->state != DefiningParameters) {
            std::fprintf(stderr, "bench_window_rounds: round %d did not reach the parameters\n", round);
            return 1;
        }
        w.findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingBefore"))->setValue(frames);
        w.findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingAfter"))->setValue(frames);
        w.findChild<QComboBox*>(QStringLiteral("comboBox_Quality"))->setCurrentIndex(0);
        QElapsedTimer clock;
        clock.start();
        w.stacking().PushButtonDefineParamsNextClicked();
        if (!waitUntil([&] { return !w.stacking().running() && w.model().workspace()->state == Editing; })) {
            std::fprintf(stderr, "bench_window_rounds: round %d did not reach editing\n", round);
            return 1;
        }
        const qint64 stackMs = clock.restart();
        messages->fileNames = {{home.path() + QStringLiteral("/round%1.tif").arg(round)}};
        w.exports().PushButtonProEditingExportClicked();
        if (!waitUntil([&] { return !w.exports().running() && !w.exports().writesPending(); })) {
            std::fprintf(stderr, "bench_window_rounds: round %d did not export\n", round);
            return 1;
        }
        const qint64 exportMs = clock.elapsed();
        QFile::remove(home.path() + QStringLiteral("/round%1.tif").arg(round));
        last = residentMb();
        if (round == 2)
            afterSecond = last;
        std::printf("  round %2d  kept %2zu  stack %6lld ms  export %6lld ms  resident %7.1f MB\n", round,
                    w.model().workspace()->liveSelections().size(), stackMs, exportMs, last);
        std::fflush(stdout);
    }
    std::printf("growth per kept result after round 2: %.1f MB\n", (last - afterSecond) / (rounds - 2));
    return 0;
}
