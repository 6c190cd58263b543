#include "ui/PresetsController.h"

#include "app/MessageService.h"
#include "i18n/LanguageEngine.h"
#include "presets/PresetFiles.h"
#include "ui/EditingPanel.h"
#include "ui/PresetDialogs.h"
#include "ui/PresetImage.h"
#include "ui/PresetStrips.h"
#include "ui/Repolish.h"
#include "ui/SharpestImageSelection.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"
#include "ui/Workspace.h"

#include <QPushButton>

namespace lumora {
namespace {

SharpestImageSelection* editedPicture(const WindowModel& model) {
    return model.hasMedium() ? model.workspace()->edited.data() : nullptr;
}

} // namespace

PresetsController::PresetsController(const WindowContext& context, PresetStrips& strips, EditingPanel& panel)
    : model_(context.model), messages_(context.messages), window_(context.window), strips_(strips),
      panel_(panel) {
    const WindowForm& f = context.form;
    connect(&strips_, &PresetStrips::presetClicked, this, &PresetsController::onClickPresetImage);
    connect(&panel_, &EditingPanel::positionsChanged, this, &PresetsController::syncPresetHighlight);
    connect(f.presets->pushButton_UserPresetsNew, &QPushButton::clicked, this,
            &PresetsController::newUserPreset);
    connect(f.presets->pushButton_UserPresetsModify, &QPushButton::clicked, this,
            &PresetsController::modifyUserPreset);
    connect(f.presets->pushButton_UserPresetsRemove, &QPushButton::clicked, this,
            &PresetsController::removeUserPreset);
}

void PresetsController::onClickPresetImage(PresetImage* image) {
    SharpestImageSelection* picture = editedPicture(model_);
    if (!image || !picture || picture->rendering())
        return;
    picture->positions().takePreset(image->preset().positions());
    applyEditPositions(picture->engine(), picture->positions());
    panel_.load(true);
}

void PresetsController::syncPresetHighlight() {
    const SharpestImageSelection* picture = editedPicture(model_);
    for (const auto& strip : {strips_.builtIn(), strips_.user()})
        for (PresetImage* image : strip) {
            const bool matches = picture && presetMatches(image->preset(), picture->positions());
            // Restyling every thumbnail on each slider step would cost more than the step itself.
            if (image->property("isSelected").toBool() != matches) {
                image->setProperty("isSelected", matches);
                repolish(image);
            }
        }
}

void PresetsController::reportWriteFailure(const std::string& error) {
    messages_.show(MessageKind::Error, translatedText("ErrorSavingPresetsTitle"),
                   translatedText("ErrorSavingPresets").arg(QString::fromStdString(error)));
}

bool PresetsController::noUserPreset(const char* textKey) {
    if (!userPresets().empty())
        return false;
    messages_.show(MessageKind::Error, translatedText("ErrorPreset"), translatedText(textKey));
    return true;
}

void PresetsController::newUserPreset() {
    const SharpestImageSelection* picture = editedPicture(model_);
    if (!picture)
        return;
    PresetNameDialog dialog(window_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString name = dialog.name();
    if (name.isEmpty())
        name = QString::number(userPresets().size() + 1);
    const PresetRecord preset =
        PresetRecord::fromPositions(name.toStdString(), picture->positions().current());
    const Status written = addUserPreset(preset);
    // The list holds it either way: the thumbnail shows what the session has.
    strips_.appendUser(preset);
    syncPresetHighlight();
    if (!written)
        reportWriteFailure(written.reason());
}

void PresetsController::modifyUserPreset() {
    const SharpestImageSelection* picture = editedPicture(model_);
    if (!picture || noUserPreset("ExplErrorPresetModify"))
        return;
    const std::vector<PresetRecord> presets = userPresets();
    QStringList names;
    for (const PresetRecord& p : presets)
        names << QString::fromStdString(p.name);
    PresetChoiceDialog dialog("ModifyingPreset", "SelectPresetModify", names, false, window_);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen().empty())
        return;
    const int index = dialog.chosen().front();
    const PresetRecord preset =
        PresetRecord::fromPositions(presets[std::size_t(index)].name, picture->positions().current());
    const Status written = replaceUserPreset(index, preset);
    // The session's list holds the new values either way, and the strip shows the list.
    strips_.replaceUser(index, preset);
    syncPresetHighlight();
    if (!written)
        reportWriteFailure(written.reason());
}

void PresetsController::removeUserPreset() {
    if (noUserPreset("ExplErrorPreset"))
        return;
    QStringList names;
    for (const PresetRecord& p : userPresets())
        names << QString::fromStdString(p.name);
    PresetChoiceDialog dialog("RemovingPresets", "SelectPresetsRemove", names, true, window_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::vector<int> chosen = dialog.chosen();
    // From the last, so that the indices still to remove keep their meaning. The session's list loses them
    // even when the file cannot be rewritten, and the strip shows the list.
    std::string firstError;
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        const Status removed = lumora::removeUserPreset(*it);
        if (!removed && firstError.empty())
            firstError = removed.reason().empty() ? std::string("?") : removed.reason();
        strips_.removeUser(*it);
    }
    if (!firstError.empty())
        reportWriteFailure(firstError);
}

} // namespace lumora
