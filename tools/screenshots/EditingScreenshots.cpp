// The editing page for lumora_screenshots: every operator page in Basic, Classic and Pro, the preset strips
// with their thumbnails and the user's tab, the crop and horizon tools, the exposure highlight and the preset
// dialogs, and the View panels. Runs in the caller's settings store and language.

#include "ScriptedMessageService.h"
#include "TestEnvironment.h"
#include "app/Settings.h"
#include "presets/PresetFiles.h"
#include "ui/EditingController.h"
#include "ui/EditingPanel.h"
#include "ui/LumoraV2.h"
#include "ui/PresetDialogs.h"
#include "ui/PresetImage.h"
#include "ui/PresetStrips.h"
#include "ui/PresetsController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/ToolOverlays.h"
#include "ui/ToolsController.h"
#include "ui/ViewPanelsController.h"
#include "ui/Workspace.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

#include <functional>

namespace lumora::test {

namespace {

bool settled(LumoraV2& w) {
    QElapsedTimer clock;
    clock.start();
    const auto done = [&] {
        const Workspace* ws = w.model().workspace();
        if (!ws || !ws->edited || ws->edited->rendering())
            return false;
        for (const auto& strip : {w.editing().strips().builtIn(), w.editing().strips().user()})
            for (PresetImage* p : strip)
                if (p->rendering() || !p->hasThumbnail())
                    return false;
        return true;
    };
    while (!done()) {
        if (clock.elapsed() > 120000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::unique_ptr<LumoraV2> editPhoto(int mode) {
    settings::write(settings::WindowMode, mode);
    auto w = std::make_unique<LumoraV2>(std::make_shared<ScriptedMessageService>());
    w->resize(1280, 800);
    w->show();
    loadUserPresets();
    const QString photo = QString::fromStdString(testMediaPath("burst_jpg8/IMG_004.jpg"));
    if (!w->openMediaByPath(photo) || !settled(*w))
        return nullptr;
    return w;
}

} // namespace

int shootEditing(const QString& suffix, const std::function<void(QWidget&, const QString&)>& save,
                 const std::function<void(const QString&)>& grabNextModal) {
    settings::write(settings::ChosenLanguage, suffix.mid(1));
    int failures = 0;
    const char* const modes[] = {"basic", "classic", "pro"};
    for (int mode = 1; mode <= 3; ++mode) {
        auto w = editPhoto(mode);
        if (!w) {
            ++failures;
            continue;
        }
        const QString name = QStringLiteral("editing-%1").arg(QString::fromLatin1(modes[mode - 1]));
        if (mode == 1) {
            save(*w, name + suffix); // Basic has no tone-mapping panel
            continue;
        }
        // Operators 0 to 3 from the list; 4 only through a preset that chooses it.
        auto* list = w->findChild<QComboBox*>(QStringLiteral("comboBox_TM"));
        for (int op = 0; op <= 4; ++op) {
            if (op < 4) {
                list->setCurrentIndex(op);
            } else {
                PresetRecord layered = PresetRecord::fromPositions("4", ControlPositions{});
                layered.TMAlgo = 4;
                PresetImage preset(layered, nullptr);
                w->presets().onClickPresetImage(&preset);
            }
            settled(*w);
            save(*w, name + QStringLiteral("-operator%1").arg(op) + suffix);
        }
    }

    auto w = editPhoto(2);
    if (!w)
        return failures + 1;
    PresetsController& presets = w->presets();
    for (const char* preset : {"Dusk", "Harbour", ""}) {
        QTimer::singleShot(300, [preset] {
            if (auto* d = qobject_cast<PresetNameDialog*>(QApplication::activeModalWidget())) {
                d->nameEdit()->setText(QString::fromUtf8(preset));
                d->accept();
            }
        });
        w->findChild<QSlider*>(QStringLiteral("horizontalSlider_TMSaturation"))
            ->setValue(preset[0] ? 30 : -40);
        presets.newUserPreset();
    }
    w->findChild<QTabWidget*>(QStringLiteral("tabWidget_Presets"))->setCurrentIndex(1);
    settled(*w);
    save(*w, QStringLiteral("editing-user-presets") + suffix);

    grabNextModal(QStringLiteral("preset-new-dialog") + suffix);
    presets.newUserPreset();
    grabNextModal(QStringLiteral("preset-modify-dialog") + suffix);
    presets.modifyUserPreset();
    grabNextModal(QStringLiteral("preset-remove-dialog") + suffix);
    presets.removeUserPreset();
    w->findChild<QTabWidget*>(QStringLiteral("tabWidget_Presets"))->setCurrentIndex(0);

    for (QAction* a : {w->form().main->actionHighlight_over_exposed_pixels,
                       w->form().main->actionHighlight_under_exposed_pixels})
        a->trigger();
    w->findChild<QSlider*>(QStringLiteral("horizontalSlider_TMExposition"))->setValue(60);
    save(*w, QStringLiteral("editing-highlight") + suffix);
    for (QAction* a : {w->form().main->actionHighlight_over_exposed_pixels,
                       w->form().main->actionHighlight_under_exposed_pixels})
        a->trigger();

    w->findChild<QPushButton*>(QStringLiteral("pushButton_Crop"))->click();
    save(*w, QStringLiteral("editing-crop-tool") + suffix);
    w->findChild<QPushButton*>(QStringLiteral("pushButton_CancelTool"))->click();
    w->findChild<QPushButton*>(QStringLiteral("pushButton_Horizon"))->click();
    save(*w, QStringLiteral("editing-horizon-tool") + suffix);
    w->findChild<QPushButton*>(QStringLiteral("pushButton_CancelTool"))->click();

    // The View panels beside the picture; off again after, so the other pictures keep their layout.
    const QList<QAction*> panels = {w->form().main->actionHide_Show_histogram_panel,
                                    w->form().main->actionShow_tone_curve, w->form().main->actionShow_EXIF};
    for (QAction* a : panels)
        a->setChecked(true);
    QElapsedTimer clock;
    clock.start();
    while (w->viewPanels().readingExif() && clock.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    w->findChild<QSlider*>(QStringLiteral("horizontalSlider_TMShadows"))->setValue(40);
    settled(*w);
    save(*w, QStringLiteral("editing-view-panels") + suffix);
    for (QAction* a : panels)
        a->setChecked(false);
    return failures;
}

} // namespace lumora::test
