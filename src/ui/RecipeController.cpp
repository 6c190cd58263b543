#include "ui/RecipeController.h"

#include "app/EventLog.h"
#include "app/MessageService.h"
#include "app/Settings.h"
#include "export/ExportFormats.h"
#include "i18n/LanguageEngine.h"
#include "stacking/StackingChoices.h"
#include "ui/EditPositions.h"
#include "ui/SharpestImageSelection.h"
#include "ui/WindowForm.h"
#include "ui/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace lumora {
namespace {

const QLatin1String kRecipeSuffix(".lumora.json");

// "NAME" for "dir/NAME.lumora.json": the name the picture was exported under.
QString pictureNameOf(const QString& recipePath) {
    QString name = QFileInfo(recipePath).fileName();
    if (name.endsWith(kRecipeSuffix, Qt::CaseInsensitive))
        name.chop(kRecipeSuffix.size());
    return name;
}

// Stacked pictures are made in Pro; grabbed frames and photos are edited with every control in Classic
// (Basic hides some), or in Pro when a photo is opened there already.
int modeFor(const Recipe& recipe, int current) {
    if (recipe.sourceKind != RecipeSourceKind::Image)
        return recipe.stacking ? 3 : 2;
    return current == 3 ? 3 : 2;
}

} // namespace

RecipeController::RecipeController(const WindowContext& context)
    : ctx_(context), lastDirectory_(QDir::homePath()) {
    connect(&ctx_.model, &WindowModel::editedChanged, this, &RecipeController::editedChanged);
    connect(&ctx_.model, &WindowModel::stateChanged, this, &RecipeController::stateChanged);
    connect(&ctx_.model, &WindowModel::workspaceChanged, this, [this] {
        if (pending_ && pending_->armed && !ctx_.model.hasMedium())
            pending_.reset();
    });
}

void RecipeController::MenuActionOpenRecipeClicked() {
    const QString filter = translatedText("RecipeFiles") + QStringLiteral(" (*") + kRecipeSuffix +
                           QStringLiteral(");;All Files (*.*)");
    const QString path =
        ctx_.messages.openFileName(translatedText("OpenRecipeTitle"), lastDirectory_, filter);
    if (path.isEmpty())
        return;
    lastDirectory_ = QFileInfo(path).absolutePath();
    open(path);
}

void RecipeController::refuse(const QString& path, const QString& reason) {
    logError("RecipeController", path.toStdString() + ": " + reason.toStdString());
    ctx_.messages.show(MessageKind::Error, translatedText("RecipeUnusableTitle"),
                       translatedText("RecipeUnusable").arg(QDir::toNativeSeparators(path), reason));
}

bool RecipeController::acceptWarnings(const QString& path, const RecipeReading& reading) {
    if (reading.warnings.empty())
        return true;
    QStringList lines;
    for (const std::string& w : reading.warnings)
        lines << QStringLiteral("- ") + QString::fromStdString(w);
    QString text =
        translatedText("RecipeRemarks").arg(QDir::toNativeSeparators(path), lines.join(QLatin1Char('\n')));
    if (!reading.sourceChanged) {
        ctx_.messages.show(MessageKind::Warning, translatedText("RecipeRemarksTitle"), text);
        return true;
    }
    text += QStringLiteral("\n\n") + translatedText("RecipeGoOn");
    return ctx_.messages.ask(MessageKind::WarningQuestion, translatedText("RecipeRemarksTitle"), text);
}

bool RecipeController::open(const QString& path) {
    const RecipeReading reading = openRecipe(path.toStdString());
    if (!reading.ok) {
        refuse(path, QString::fromStdString(reading.error));
        return false;
    }
    if (!acceptWarnings(path, reading))
        return false;
    return proceed(reading.recipe, pictureNameOf(path));
}

bool RecipeController::proceed(const Recipe& recipe, const QString& exportName) {
    // Exporting everything first closes the medium later: the recipe goes on from there.
    if (closeWorkspace_ && !closeWorkspace_([this, recipe, exportName] { proceed(recipe, exportName); }))
        return false;
    waitForRender_ = {};
    pending_.reset();
    if (recipe.tone || recipe.stacking)
        pending_ = Pending{recipe, exportName, false};
    // The mode can change only while nothing is open.
    const int mode = modeFor(recipe, ctx_.model.mode());
    if (mode != ctx_.model.mode()) {
        ctx_.model.setMode(mode);
        emit modeUpdateRequested();
    }
    if (!openSource(recipe)) {
        pending_.reset();
        return false;
    }
    return true;
}

bool RecipeController::openSource(const Recipe& recipe) {
    const quint64 before = ctx_.model.session();
    if (recipe.sourceKind == RecipeSourceKind::Image) {
        // The photo is edited as soon as it opens.
        if (pending_)
            pending_->armed = true;
        emit openRequested(QString::fromStdString(recipe.sources.front().path));
        return ctx_.model.hasMedium() && ctx_.model.session() != before;
    }
    if (recipe.sourceKind == RecipeSourceKind::Burst) {
        QStringList files;
        for (const RecipeSource& s : recipe.sources)
            files << QString::fromStdString(s.path);
        emit burstRequested(files);
    } else {
        emit openRequested(QString::fromStdString(recipe.sources.front().path));
    }
    if (!ctx_.model.sequenceReady() || ctx_.model.session() == before)
        return false;
    Workspace* ws = ctx_.model.workspace();
    ImagesSequence* sequence = ws->sequence();
    const int last = recipe.firstFrame + recipe.frameCount - 1;
    if (last >= sequence->frameCount()) {
        ctx_.messages.show(MessageKind::Error, translatedText("RecipeUnusableTitle"),
                           translatedText("RecipeFramesMissing").arg(last + 1).arg(sequence->frameCount()));
        return false;
    }
    // Made current at once: the next step starts from the current frame.
    sequence->setCurrentFrame(recipe.chosenFrame, true);
    emit frameRequested(recipe.chosenFrame);
    if (!pending_)
        return true; // a frame written as it was: it is shown, ready to be saved again
    if (!recipe.stacking) {
        emit grabRequested();
        pending_->armed = true;
        emit nextRequested();
        return ws->state == Editing;
    }
    emit nextRequested();
    if (ws->state != DefiningParameters)
        return false;
    showStackingChoices(*recipe.stacking);
    const StackingParams run =
        stackingParamsFor(ws->stacking, sequence, ws->centreIndex, sequence->frameCount());
    if (run.firstIndex != recipe.firstFrame || run.frameCount != recipe.frameCount)
        logError("RecipeController", "the recipe stacked frames " + std::to_string(recipe.firstFrame) + "+" +
                                         std::to_string(recipe.frameCount) + ", the source now gives " +
                                         std::to_string(run.firstIndex) + "+" +
                                         std::to_string(run.frameCount));
    pending_->armed = true;
    emit stackingRequested();
    return ws->state == Stacking || ws->state == Editing;
}

void RecipeController::showStackingChoices(const StackingChoices& c) {
    auto* p = ctx_.form.proParams;
    p->spinBox_ImageStackingBefore->setValue(c.framesBefore);
    p->spinBox_ImageStackingAfter->setValue(c.framesAfter);
    // The named anti-ghosting choices stand for their positions; any other is the custom one.
    QRadioButton* radio = p->radioButton_CustomAntighosting;
    if (c.antighostingPosition == kLongExposurePosition)
        radio = p->radioButton_LongExposure;
    else if (c.antighostingPosition == kMediumAntighostingPosition)
        radio = p->radioButton_MediumAntighosting;
    else if (c.antighostingPosition == kHighAntighostingPosition)
        radio = p->radioButton_HighAntighosting;
    radio->setChecked(true);
    p->horizontalSlider_AntighostingP1->setValue(c.antighostingPosition);
    p->checkBox_AutoAntighostingP2->setChecked(c.automaticMovement);
    p->horizontalSlider_AntighostingP2->setValue(c.movementPosition);
    p->checkBox_Align->setChecked(c.align);
    p->comboBox_Quality->setCurrentIndex(c.quality);
    // The page offers no choice of block search; the run takes the recipe's.
    ctx_.model.workspace()->stacking.search = c.search;
}

void RecipeController::stateChanged(WorkspaceState state) {
    // Stacking cancelled or the user went back: the picture the recipe describes will not be made.
    if (pending_ && pending_->armed && (state == SelectingFrame || state == DefiningParameters))
        pending_.reset();
}

void RecipeController::editedChanged(SharpestImageSelection* picture) {
    if (!pending_ || !pending_->armed || !picture)
        return;
    // Once the editing has taken the picture up (its panel loaded, its first preview started).
    QTimer::singleShot(0, this,
                       [this, p = QPointer<SharpestImageSelection>(picture)] { restoreWhenIdle(p); });
}

void RecipeController::restoreWhenIdle(SharpestImageSelection* picture) {
    QObject::disconnect(waitForRender_);
    if (!pending_ || !pending_->armed || !picture || ctx_.model.edited() != picture)
        return;
    if (!picture->rendering()) {
        restoreEdit(picture);
        return;
    }
    // The preview reads the engine: the positions change once it has ended.
    waitForRender_ = connect(picture, &SharpestImageSelection::renderFinished, this,
                             [this, picture] { restoreWhenIdle(picture); });
}

void RecipeController::restoreEdit(SharpestImageSelection* picture) {
    const Pending pending = std::move(*pending_);
    pending_.reset();
    const Recipe& recipe = pending.recipe;
    EditPositions& positions = picture->positions();
    if (recipe.tone)
        positions.takePreset(*recipe.tone);
    positions.rotation = recipe.rotation;
    applyEditPositions(picture->engine(), positions);
    // In pixels of the turned picture: set after the rotation.
    picture->engine().setCropRect(recipe.crop.value_or(cv::Rect()));
    // The name and format of an edit exported before; a light image's are not an edit's.
    const int format = exportFormatIndexForSuffix(QString::fromStdString(recipe.outputFormat));
    if (recipe.tone && format >= 0) {
        picture->renameExport(pending.exportName);
        settings::write(settings::SavingFilterIndexForTMImage, format);
    }
    emit editLoadRequested(picture->engine().pendingStage());
}

} // namespace lumora
