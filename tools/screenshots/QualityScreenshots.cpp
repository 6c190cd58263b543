// The frame-quality strip and the ghost overlay for lumora_screenshots: the 1080p scene clip with its strip
// computed (sharpness and motion curves, the sharpest moments marked), and the moving-disc burst stacked in
// Pro with "Show moving areas" on. Each in its own private settings store, in the given language.

#include "ScriptedMessageService.h"
#include "TestEnvironment.h"
#include "app/Settings.h"
#include "media/MediaFiles.h"
#include "ui/EditingController.h"
#include "ui/FrameQualityController.h"
#include "ui/LumoraV2.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/QualityStripWidget.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/StackingController.h"
#include "ui/Workspace.h"

#include <QCheckBox>
#include <QSpinBox>

#include <cstdio>
#include <functional>

namespace lumora::test {

using Save = std::function<void(QWidget&, const QString&)>;
using Wait = std::function<bool(const std::function<bool()>&)>;

namespace {

std::unique_ptr<LumoraV2> proWindow(const QString& language) {
    settings::write(settings::ChosenLanguage, language);
    settings::write(settings::WindowMode, 3);
    auto w = std::make_unique<LumoraV2>(std::make_shared<ScriptedMessageService>());
    w->resize(1280, 800);
    w->show();
    return w;
}

int shootStrip(const QString& language, const QString& name, const Save& save, const Wait& waitUntil) {
    IsolatedUserStore store;
    auto w = proWindow(language);
    const QString clip = QString::fromStdString(testMediaPath("scene_1080p.mp4"));
    if (!w->openMediaByPath(clip)) {
        std::fprintf(stderr, "lumora_screenshots: cannot open %s\n", qPrintable(clip));
        return 1;
    }
    const QualityStripWidget* strip = w->frameQuality().strip();
    if (!waitUntil([&] { return !w->frameQuality().computing() && !strip->frames().empty(); })) {
        std::fprintf(stderr, "lumora_screenshots: the quality strip was not computed\n");
        return 1;
    }
    w->player().showFrameIndex(w->model().workspace()->sequence()->frameCount() / 3);
    w->player().TimerTimeoutShowFrameIndex();
    save(*w, name);
    return 0;
}

int shootOverlay(const QString& language, const QString& name, const Save& save, const Wait& waitUntil) {
    IsolatedUserStore store;
    auto w = proWindow(language);
    QStringList files;
    for (const std::string& f : burstFilesInFolder(testMediaPath("motion_moving")))
        files << QString::fromStdString(f);
    if (files.isEmpty() || !w->opening().openBurst(files)) {
        std::fprintf(stderr, "lumora_screenshots: cannot open the motion burst\n");
        return 1;
    }
    const int centre = static_cast<int>(files.size()) / 2;
    w->model().workspace()->sequence()->setCurrentFrame(centre, true);
    w->flow().PushButtonSelectImageNextClicked();
    w->findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingBefore"))->setValue(centre);
    w->findChild<QSpinBox*>(QStringLiteral("spinBox_ImageStackingAfter"))
        ->setValue(files.size() - 1 - centre);
    w->stacking().PushButtonDefineParamsNextClicked();
    const auto edited = [&] {
        const Workspace* ws = w->model().workspace();
        return !w->stacking().running() && ws->state == Editing && ws->edited && !ws->edited->rendering();
    };
    if (!waitUntil(edited) || !w->editing().ghostToggle()->isEnabled()) {
        std::fprintf(stderr, "lumora_screenshots: the motion burst was not stacked\n");
        return 1;
    }
    w->editing().ghostToggle()->setChecked(true);
    save(*w, name);
    return 0;
}

} // namespace

int shootQuality(const QString& language, const QString& code, const Save& save, const Wait& waitUntil) {
    return shootStrip(language, QStringLiteral("strip-") + code, save, waitUntil) +
           shootOverlay(language, QStringLiteral("overlay-") + code, save, waitUntil);
}

} // namespace lumora::test
