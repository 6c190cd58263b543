// Writes pictures of the main window and its dialogs, in English and in French, for reviewing the look:
// lumora_screenshots OUTDIR [--only quality]. Runs off screen with a private settings store; uses the
// generated test media. "--only quality" writes just the frame-quality strip and the ghost overlay
// (strip-en.png, strip-fr.png, overlay-en.png, overlay-fr.png).

#include "ScriptedMessageService.h"
#include "TestEnvironment.h"
#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "stacking/StackingEngine.h"
#include "ui/EditingController.h"
#include "ui/LumoraV2.h"
#include "ui/ModeChoice.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/PresetImage.h"
#include "ui/PresetStrips.h"
#include "ui/ProSharpestImageSelection.h"
#include "ui/SaveForm.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/SharpestSearchController.h"
#include "ui/StackingController.h"
#include "ui/StepsController.h"
#include "ui/Workspace.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

namespace lumora::test {
void shootUpdateQuestion(const std::function<void(const QString&)>& grabNextModal, const QString& name);
int shootEditing(const QString& suffix, const std::function<void(QWidget&, const QString&)>& save,
                 const std::function<void(const QString&)>& grabNextModal);
int shootQuality(const QString& language, const QString& code,
                 const std::function<void(QWidget&, const QString&)>& save,
                 const std::function<bool(const std::function<bool()>&)>& waitUntil);
} // namespace lumora::test

namespace {

using namespace lumora;

QString outDir;
int failures = 0;

void settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

void save(QWidget& widget, const QString& name) {
    settle();
    const QString path = outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "lumora_screenshots: cannot write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// Grabs the next modal dialog as soon as it shows, then closes it.
void grabNextModal(const QString& name) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, name] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            save(*dialog, name);
            dialog->close();
        }
    });
    timer->start();
}

// Processes events until `done` holds (at most two minutes).
bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 120000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void fail(const char* what) {
    std::fprintf(stderr, "lumora_screenshots: %s\n", what);
    ++failures;
}

// Pro from the parameters to editing a stacking result, with the real message boxes (the stop question is
// photographed, every other box is declined), then the sharpest-frame results.
void shootPro(const QString& clip, const QString& suffix) {
    test::IsolatedUserStore store;
    settings::write(settings::ChosenLanguage, suffix.mid(1));
    settings::write(settings::WindowMode, 3);
    LumoraV2 w;
    w.resize(1280, 800);
    w.show();
    settle();
    if (!w.openMediaByPath(clip))
        return fail("cannot open the scene clip");
    w.model().workspace()->sequence()->setCurrentFrame(25, true);
    w.flow().PushButtonSelectImageNextClicked();
    w.findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingBefore"))->setValue(2);
    w.findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingAfter"))->setValue(2);
    w.findChild<QComboBox*>(QStringLiteral("comboBox_Quality"))->setCurrentIndex(0);
    save(w, QStringLiteral("pro-parameters") + suffix);

    w.stacking().PushButtonDefineParamsNextClicked();
    if (!waitUntil([&] {
            const StackingEngine* e = w.model().workspace()->stackingEngine();
            return e && e->currentFrame() >= 1 && e->progressPercent() > 20.f;
        }))
        return fail("the stacking did not start");
    save(w, QStringLiteral("stacking-progress") + suffix);
    grabNextModal(QStringLiteral("stop-question") + suffix);
    w.flow().PushButtonComputingCancelClicked(true);

    // The offer to save the light image is declined.
    QTimer decline;
    QObject::connect(&decline, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    decline.start(50);
    if (!waitUntil([&] { return !w.stacking().running() && w.model().workspace()->state == Editing; }))
        return fail("the stacking did not end in editing");
    decline.stop();
    waitUntil([&] {
        const auto strip = w.editing().strips().builtIn();
        return w.model().workspace()->edited && !w.model().workspace()->edited->rendering() &&
               !strip.empty() && strip.back()->hasThumbnail();
    });
    save(w, QStringLiteral("editing-stacking-result") + suffix);

    SaveForm form(&w, true);
    form.setFormatChoices(2);
    form.show();
    save(form, QStringLiteral("save-form") + suffix);
    form.close();

    // Back to the clip: the frames sharper than a blurred one, the pin of the first shown.
    w.steps().goToStep(1);
    w.model().workspace()->sequence()->setCurrentFrame(20, true);
    w.findChild<QSpinBox*>(QStringLiteral("spinBox_FindSharpestImage"))->setValue(6);
    w.search().PushButtonFindSharpestImageClicked();
    if (!waitUntil([&] { return !w.search().running(); }))
        return fail("the search did not end");
    const auto results = w.findChildren<ProSharpestImageSelection*>();
    if (!results.isEmpty()) {
        QEvent enter(QEvent::HoverEnter);
        QApplication::sendEvent(results.back(), &enter);
    }
    save(w, QStringLiteral("sharpest-results") + suffix);
    w.opening().closeWorkspace();
}

// Classic: three frames grabbed, their pins on the timeline, their searches done.
void shootGrabbed(const QString& clip, const QString& suffix) {
    test::IsolatedUserStore store;
    settings::write(settings::ChosenLanguage, suffix.mid(1));
    settings::write(settings::WindowMode, 2);
    LumoraV2 w(std::make_shared<test::ScriptedMessageService>());
    w.resize(1280, 800);
    w.show();
    settle();
    if (!w.openMediaByPath(clip))
        return fail("cannot open the scene clip");
    for (int frame : {6, 22, 41}) {
        w.model().workspace()->sequence()->setCurrentFrame(frame, true);
        w.flow().grabCurrentFrame();
    }
    w.player().showFrameIndex(22);
    w.player().TimerTimeoutShowFrameIndex();
    waitUntil([&] {
        for (SharpestImageSelection* s : w.model().workspace()->liveSelections())
            if (s->candidates().empty())
                return false;
        return true;
    });
    save(w, QStringLiteral("grabbed-selections") + suffix);
    w.opening().closeWorkspace();
}

std::unique_ptr<LumoraV2> window(const std::shared_ptr<test::ScriptedMessageService>& messages) {
    auto w = std::make_unique<LumoraV2>(messages);
    w->resize(1280, 800);
    w->show();
    settle();
    return w;
}

void shootLanguage(const QString& language) {
    const QString suffix = QLatin1Char('_') + language;
    const QString clip = QString::fromStdString(test::testMediaPath("scene_1080p.mp4"));
    auto messages = std::make_shared<test::ScriptedMessageService>();

    // First start: no mode chosen yet.
    {
        test::IsolatedUserStore store;
        settings::write(settings::ChosenLanguage, language);
        auto w = window(messages);
        save(*w, QStringLiteral("mode-choice-page") + suffix);
        ModeChoice dialog(w.get());
        dialog.resize(760, 340);
        dialog.show();
        save(dialog, QStringLiteral("mode-choice-dialog") + suffix);
    }
    // Home page with recent files, then the same clip in Basic and in Pro.
    test::IsolatedUserStore store;
    settings::write(settings::ChosenLanguage, language);
    settings::write(settings::WindowMode, 1);
    settings::write(settings::RecentFiles,
                    QStringList{QDir::toNativeSeparators(clip),
                                QStringLiteral("/home/ana/Videos/harbour_dusk.mov"),
                                QStringLiteral("/home/ana/Videos/kite_beach.mp4"),
                                QStringLiteral("/home/ana/Pictures/2024-06 Lisbon/IMG_2041.CR2")});
    {
        auto w = window(messages);
        save(*w, QStringLiteral("home-recent-files") + suffix);
        if (!w->openMediaByPath(clip)) {
            std::fprintf(stderr, "lumora_screenshots: cannot open %s\n", qPrintable(clip));
            ++failures;
            return;
        }
        const int frames = w->model().workspace()->sequence()->frameCount();
        w->player().showFrameIndex(frames * 2 / 5);
        w->player().TimerTimeoutShowFrameIndex();
        save(*w, QStringLiteral("video-basic") + suffix);
    }
    settings::write(settings::WindowMode, 3);
    {
        auto w = window(messages);
        w->openMediaByPath(clip);
        const int frames = w->model().workspace()->sequence()->frameCount();
        w->player().showFrameIndex(frames / 2);
        w->player().TimerTimeoutShowFrameIndex();
        save(*w, QStringLiteral("video-pro") + suffix);
        // The merge settings step shows the trim range and the chosen frame on the timeline.
        w->flow().PushButtonSelectImageNextClicked();
        w->player().showFrameIndex(frames / 2 - 5);
        w->player().TimerTimeoutShowFrameIndex();
        save(*w, QStringLiteral("video-pro-merge-settings") + suffix);

        grabNextModal(QStringLiteral("settings-dialog") + suffix);
        w->showGeneralSettings();
        logError("openMediaByPath",
                 "The video '/home/user/Videos/broken.mp4' does not exist or we can not open it.");
        logError("getCvImageAt",
                 "The image '/home/user/Pictures/burst/IMG_0007.JPG' does not exist or we can not "
                 "open it.");
        grabNextModal(QStringLiteral("log-viewer") + suffix);
        w->showLog();
        w->opening().closeWorkspace();
    }
    test::shootUpdateQuestion(grabNextModal, QStringLiteral("update-question") + suffix);
    // A photo opened for tone mapping goes straight to the editing step (Classic shows every control).
    settings::write(settings::WindowMode, 2);
    {
        auto w = window(messages);
        const QString photo = QString::fromStdString(test::testMediaPath("burst_jpg8/IMG_004.jpg"));
        if (!w->openMediaByPath(photo)) {
            std::fprintf(stderr, "lumora_screenshots: cannot open %s\n", qPrintable(photo));
            ++failures;
            return;
        }
        save(*w, QStringLiteral("photo-classic-editing") + suffix);
    }
    shootGrabbed(clip, suffix);
    shootPro(clip, suffix);
    failures += test::shootEditing(suffix, save, grabNextModal);
}

} // namespace

// The application icon as the desktop shows it.
void saveIcon() {
    QIcon icon(QStringLiteral(":/Lumora/Resources/Hi.svg"));
    const QString path = outDir + QStringLiteral("/app-icon.png");
    if (icon.pixmap(128, 128).save(path))
        std::printf("%s\n", qPrintable(path));
    else
        ++failures;
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyIdentity(app);
    QString only;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
        else
            outDir = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
    }
    if (outDir.isEmpty() || !(only.isEmpty() || only == QLatin1String("quality"))) {
        std::fprintf(stderr, "usage: lumora_screenshots OUTDIR [--only quality]\n");
        return 2;
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "lumora_screenshots: cannot make %s\n", qPrintable(outDir));
        return 1;
    }
    const auto quality = [] {
        for (const auto& [language, code] : {std::pair{"English", "en"}, std::pair{"Francais", "fr"}})
            failures +=
                test::shootQuality(QString::fromLatin1(language), QString::fromLatin1(code), save, waitUntil);
    };
    if (!only.isEmpty()) {
        quality();
        return failures == 0 ? 0 : 1;
    }
    {
        test::IsolatedUserStore store;
        LumoraV2 resources(std::make_shared<test::ScriptedMessageService>()); // registers the icons
        saveIcon();
    }
    for (const QString& language : {QStringLiteral("English"), QStringLiteral("Francais")})
        shootLanguage(language);
    quality();
    return failures == 0 ? 0 : 1;
}
