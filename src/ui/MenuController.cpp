#include "ui/MenuController.h"

#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "ui/AccessibleNames.h"
#include "ui/FormIndex.h"
#include "ui/WindowForm.h"
#include "ui/WindowTexts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHash>
#include <QTabBar>

namespace lumora {

MenuController::MenuController(const WindowContext& context) : ctx_(context) {
    for (QStackedWidget* stack : sizedStacks())
        connect(stack, &QStackedWidget::currentChanged, this, &MenuController::sizeStackedPages);
}

void MenuController::loadLanguage() {
    LanguageEngine::instance().setLanguage(settings::read(settings::ChosenLanguage).toStdString());
    refreshTexts();
}

void MenuController::refreshTexts() {
    const FormIndex& index = ctx_.index;
    auto find = [&index](const char* name) { return index.find(name); };
    for (const auto& e : windowtexts::kMenus)
        if (auto* menu = qobject_cast<QMenu*>(find(e.objectName)))
            menu->setTitle(translatedText(e.key));
    for (const auto& e : windowtexts::kSubMenus)
        if (auto* menu = qobject_cast<QMenu*>(find(e.objectName)))
            menu->setTitle(translatedText(e.key));
    for (const auto& e : windowtexts::kActions)
        if (auto* action = qobject_cast<QAction*>(find(e.objectName)))
            action->setText(translatedText(e.key));
    for (const auto& e : windowtexts::kWidgets) {
        QObject* o = find(e.objectName);
        if (auto* label = qobject_cast<QLabel*>(o))
            label->setText(translatedText(e.key));
        else if (auto* button = qobject_cast<QAbstractButton*>(o))
            button->setText(translatedText(e.key));
        else if (auto* group = qobject_cast<QGroupBox*>(o))
            group->setTitle(translatedText(e.key));
    }
    for (const auto& e : windowtexts::kToolTips)
        if (auto* widget = qobject_cast<QWidget*>(find(e.objectName)))
            widget->setToolTip(translatedText(e.key));
    emit panelTextsRequested();
    nameWordlessControls(ctx_.window);
    QTabWidget* tabs = ctx_.form.presets->tabWidget_Presets;
    for (const auto& e : windowtexts::kTabs)
        if (auto* page = qobject_cast<QWidget*>(find(e.objectName)))
            tabs->setTabText(tabs->indexOf(page), translatedText(e.key));
    QHash<QComboBox*, int> next;
    for (const auto& e : windowtexts::kComboItems)
        if (auto* combo = qobject_cast<QComboBox*>(find(e.objectName))) {
            const int item = next.value(combo, 0);
            next[combo] = item + 1;
            if (item < combo->count())
                combo->setItemText(item, translatedText(e.key));
        }
    // Operator 4 is not in the list; a preset that chooses it leaves the list without a current item.
    ctx_.form.toneMapping->comboBox_TM->setPlaceholderText(translatedText("TM5"));
    emit textsRefreshed();
}

void MenuController::presentInitialState() {
    const WindowForm& f = ctx_.form;
    f.main->menuHelp->removeAction(f.main->actionQuick_guide);
    f.main->menuPanels->menuAction()->setVisible(false);
    f.video->frame_LoadingIcone->hide();
    auto* tm = f.toneMapping;
    for (QWidget* w :
         {static_cast<QWidget*>(tm->label_TM3_Gamma), static_cast<QWidget*>(tm->horizontalSlider_TM3_Gamma),
          static_cast<QWidget*>(tm->lcdNumber_TM3_Gamma), static_cast<QWidget*>(tm->label_TM4_Gamma),
          static_cast<QWidget*>(tm->horizontalSlider_TM4_Gamma),
          static_cast<QWidget*>(tm->lcdNumber_TM4_Gamma),
          static_cast<QWidget*>(tm->label_TMSharpeningThreshold),
          static_cast<QWidget*>(tm->horizontalSlider_TMSharpeningThreshold),
          static_cast<QWidget*>(tm->lcdNumber_TMSharpeningThreshold),
          static_cast<QWidget*>(tm->checkBox_FastPreview),
          static_cast<QWidget*>(f.proSelect->frame_SelectedImageTop),
          static_cast<QWidget*>(f.presets->label_zoomIn), static_cast<QWidget*>(f.presets->label_zoomOut),
          static_cast<QWidget*>(f.proParams->horizontalSlider_AntighostingP2),
          static_cast<QWidget*>(f.proParams->lcdNumber_AntighostingP2)})
        w->hide();
    tm->checkBox_FastPreview->setChecked(settings::read(settings::FastPreviewChecked));
    tm->stackedWidget_TM->setCurrentIndex(tm->comboBox_TM->currentIndex());
    f.presets->tabWidget_Presets->tabBar()->setCursor(Qt::PointingHandCursor);
    f.presets->tabWidget_Presets->setCurrentIndex(0);
    sizeStackedPages();
}

std::vector<QStackedWidget*> MenuController::sizedStacks() const {
    const WindowForm& f = ctx_.form;
    // The side panel's stacks too: its Pro parameter page is tall and would otherwise squeeze the editing
    // controls below it, whatever page is shown.
    return {f.basicClassic->stackedWidget_SelectingEditingOptions, f.toneMapping->stackedWidget_TM,
            f.video->stackedWidget_CentralWidgetBottom, f.video->stackedWidget_VerticalDock,
            f.basicClassic->stackedWidget_SelectingEditingValidation};
}

void MenuController::sizeStackedPages() {
    for (QStackedWidget* stack : sizedStacks())
        for (int i = 0; i < stack->count(); ++i) {
            const auto policy = i == stack->currentIndex() ? QSizePolicy::Maximum : QSizePolicy::Ignored;
            stack->widget(i)->setSizePolicy(policy, policy);
        }
}

} // namespace lumora
