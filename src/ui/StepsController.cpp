#include "ui/StepsController.h"

#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "ui/FormIndex.h"
#include "ui/ModeChoice.h"
#include "ui/Repolish.h"
#include "ui/WindowForm.h"

#include <QApplication>
#include <QEvent>
#include <QStyle>
#include <QTabBar>

namespace lumora {

StepsController::StepsController(const WindowContext& context) : ctx_(context) {
    const int stored = settings::read(settings::WindowMode);
    ctx_.model.setMode(stored < 0 || stored > 3 ? 0 : stored);
    const WindowForm& f = ctx_.form;
    for (QWidget* w :
         {static_cast<QWidget*>(f.steps->label_Step1), static_cast<QWidget*>(f.steps->label_Step2),
          static_cast<QWidget*>(f.steps->label_Step3), static_cast<QWidget*>(f.steps->label_Step4),
          static_cast<QWidget*>(f.steps->frame_Step1), static_cast<QWidget*>(f.steps->frame_Step2),
          static_cast<QWidget*>(f.steps->frame_Step3), static_cast<QWidget*>(f.steps->frame_Step4),
          static_cast<QWidget*>(f.versionChoice->frame_SelectModeBasic),
          static_cast<QWidget*>(f.versionChoice->frame_SelectModeClassic),
          static_cast<QWidget*>(f.versionChoice->frame_SelectModePro),
          static_cast<QWidget*>(f.steps->label_ModeIconBasic),
          static_cast<QWidget*>(f.steps->label_ModeIconClassic),
          static_cast<QWidget*>(f.steps->label_ModeIconPro)})
        w->installEventFilter(this);
}

int StepsController::mode() const {
    return ctx_.model.mode();
}

void StepsController::setMode(int mode) {
    ctx_.model.setMode(mode);
}

int StepsController::askMode() {
    // Closing the dialog without a choice asks again: nothing can be opened without a mode.
    for (;;) {
        ModeChoice dialog(ctx_.window);
        dialog.exec();
        if (dialog.choice() >= 0) {
            if (dialog.keepChoice())
                settings::write(settings::WindowMode, dialog.choice() + 1);
            return dialog.choice() + 1;
        }
        if (QCoreApplication::closingDown())
            return 1;
    }
}

void StepsController::ensureMode() {
    if (mode() != 0)
        return;
    setMode(askMode());
    updateMode();
}

void StepsController::refuseOperation() {
    ctx_.messages.show(MessageKind::Error, translatedText("Error"), translatedText("OperationNotAllowed"));
}

namespace {

// Shows the first `count` step frames and hides the others.
void showSteps(const WindowForm& f, int count) {
    QFrame* frames[] = {f.steps->frame_Step1, f.steps->frame_Step2, f.steps->frame_Step3,
                        f.steps->frame_Step4};
    for (int i = 0; i < 4; ++i)
        frames[i]->setVisible(i < count);
}

} // namespace

void StepsController::updateMode() {
    const WindowForm& f = ctx_.form;
    const Workspace* ws = ctx_.model.workspace();
    const std::vector<const char*> keys = stepKeys(mode(), ws && !ws->hasSequence());
    QLabel* labels[] = {f.steps->label_Step1, f.steps->label_Step2, f.steps->label_Step3,
                        f.steps->label_Step4};
    for (size_t i = 0; i < keys.size(); ++i)
        labels[i]->setText(translatedText("Step").arg(i + 1) + translatedText(keys[i]));
    showSteps(f, int(keys.size()));
    f.steps->frame_TopMenu->setProperty("nbMenu", QString::number(keys.size()));
    f.main->frame_TopTopMenu->setVisible(mode() != 0);

    QTabWidget* presets = f.presets->tabWidget_Presets;
    switch (mode()) {
    case 1:
        // Basic offers the built-in presets only.
        presets->setCurrentIndex(0);
        presets->tabBar()->hide();
        f.basicClassic->frame_GrabFrame->show();
        break;
    case 2:
        presets->tabBar()->show();
        f.basicClassic->frame_GrabFrame->show();
        break;
    case 3:
        // Pro chooses one frame instead of grabbing several.
        presets->tabBar()->show();
        f.basicClassic->frame_GrabFrame->hide();
        break;
    default:
        break;
    }
    showModeIcon();
    repolish(f.steps->frame_TopMenu);
    updateWindow();
}

void StepsController::showModeIcon() {
    const WindowForm& f = ctx_.form;
    QWidget* pages[] = {f.steps->page_ModeIconBasic, f.steps->page_ModeIconClassic,
                        f.steps->page_ModeIconPro};
    if (mode() >= 1)
        f.steps->stackedWidget_ModeIcon->setCurrentWidget(pages[mode() - 1]);
}

void StepsController::updateWindow() {
    const WindowForm& f = ctx_.form;
    QFrame* topMenu = f.steps->frame_TopMenu;
    if (!ctx_.model.hasMedium()) {
        topMenu->setProperty("nbMenu", QStringLiteral("0"));
        showSteps(f, 0);
        repolish(topMenu);
        ctx_.index.apply(emptyWindowLayout(), mode());
    } else {
        applyStateLayout();
        emit layoutApplied();
    }
    QCoreApplication::processEvents();
    emit resizeRequested();
}

void StepsController::applyStateLayout() {
    const Workspace* ws = ctx_.model.workspace();
    const FormIndex& index = ctx_.index;
    index.apply(workspaceLayout(), mode());
    emit overlaysHideRequested();

    const StateLayout& row = stateLayout(ws->state);
    const char* highlight = !ws->hasSequence() ? row.selectMenu.singlePhoto
                            : mode() == 3      ? row.selectMenu.pro
                                               : row.selectMenu.basicClassic;
    QFrame* topMenu = ctx_.form.steps->frame_TopMenu;
    if (highlight)
        topMenu->setProperty("selectMenu", QString::fromLatin1(highlight));
    index.apply(row.cells, mode());
    if (ws->state == ToolActive)
        emit overlayShowRequested(ws->activeTool);
    repolish(topMenu);
}

void StepsController::goToStep(int k) {
    Workspace* ws = ctx_.model.workspace();
    if (!ctx_.model.hasMedium())
        return;
    const StepDecision decision = decideStep(mode(), ws->state, ws->hasSequence(), k);
    if (decision.action == StepAction::Refuse) {
        refuseOperation();
        return;
    }
    if (decision.cancelTool)
        emit toolCancelRequested();
    switch (decision.action) {
    case StepAction::Nothing:
    case StepAction::Refuse:
        break;
    case StepAction::Busy:
        ctx_.messages.show(MessageKind::Information, translatedText("PleaseWait"),
                           translatedText("WaitEndProcess"));
        break;
    case StepAction::Next:
        emit nextRequested();
        break;
    case StepAction::BackFromEditing:
        backToSelection(true);
        break;
    case StepAction::BackToSelection:
        backToSelection(false);
        break;
    case StepAction::ExportAll:
        emit exportAllRequested();
        break;
    case StepAction::StartStacking:
        emit stackingRequested();
        break;
    case StepAction::DefineParameters:
        emit editedDropRequested(false);
        // The edits undone from here would land on a picture that is no longer edited.
        ws->undo.clear();
        ctx_.model.setState(DefiningParameters);
        break;
    case StepAction::ExportEdited:
        emit exportEditedRequested();
        break;
    }
    updateMode();
}

void StepsController::backToSelection(bool dropSelections) {
    Workspace* ws = ctx_.model.workspace();
    // Nothing is edited any more; grabbed frames show their pins and steps again.
    emit editedDropRequested(dropSelections);
    // The abandoned edit's history goes with it: Undo must not spend itself on edits that no longer exist.
    ws->undo.clear();
    ctx_.model.setState(SelectingFrame);
    ctx_.model.setActiveTool(NoTool);
    // Leaving Basic or Classic editing keeps the trim range; the other ways back start from the whole medium.
    if (!dropSelections)
        ws->resetTrimRange();
}

void StepsController::PushButtonVersionBasicClicked() {
    chooseModeOnHomePage(1);
}

void StepsController::PushButtonVersionClassicClicked() {
    chooseModeOnHomePage(2);
}

void StepsController::PushButtonVersionProClicked() {
    chooseModeOnHomePage(3);
}

void StepsController::chooseModeOnHomePage(int mode) {
    // The mode belongs to the medium being worked on; it cannot change under it.
    if (ctx_.model.workspace())
        return;
    setMode(mode);
    if (ctx_.form.versionChoice->checkBox_UseThisMode->isChecked())
        settings::write(settings::WindowMode, mode);
    updateMode();
}

bool StepsController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress)
        return QObject::eventFilter(watched, event);
    const WindowForm& f = ctx_.form;
    const QObject* stepWidgets[][2] = {{f.steps->label_Step1, f.steps->frame_Step1},
                                       {f.steps->label_Step2, f.steps->frame_Step2},
                                       {f.steps->label_Step3, f.steps->frame_Step3},
                                       {f.steps->label_Step4, f.steps->frame_Step4}};
    for (int k = 0; k < 4; ++k)
        if (watched == stepWidgets[k][0] || watched == stepWidgets[k][1]) {
            goToStep(k + 1);
            return true;
        }
    if (watched == f.versionChoice->frame_SelectModeBasic) {
        PushButtonVersionBasicClicked();
        return true;
    }
    if (watched == f.versionChoice->frame_SelectModeClassic) {
        PushButtonVersionClassicClicked();
        return true;
    }
    if (watched == f.versionChoice->frame_SelectModePro) {
        PushButtonVersionProClicked();
        return true;
    }
    if (watched == f.steps->label_ModeIconBasic || watched == f.steps->label_ModeIconClassic ||
        watched == f.steps->label_ModeIconPro) {
        if (!ctx_.model.workspace()) {
            setMode(askMode());
            updateMode();
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace lumora
