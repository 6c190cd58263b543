// Modes, steps and pages of the main window, driven through the real window: the mode choice, the step
// labels, how every workspace state lays out pages, panels and actions, and what clicking a step label does.

#include "WindowTestSupport.h"
#include "i18n/LanguageEngine.h"
#include "ui/FormIndex.h"
#include "ui/ModeChoice.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/StepsController.h"
#include "ui/WindowTexts.h"
#include "ui/Workspace.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <array>
#include <map>

namespace {

using namespace lumora;
using namespace lumora::test;

class WorkflowTest : public WindowTest {
protected:
    // A burst of `frames` distinct PNG photos opened in `w`.
    void openBurst(LumoraV2& w, int frames = 4) {
        QStringList files;
        for (int i = 0; i < frames; ++i)
            files << writeImage(QStringLiteral("shot_%1.png").arg(i), cv::Scalar(20 * i, 60, 120));
        ASSERT_TRUE(w.opening().openBurst(files));
        ASSERT_NE(w.workspace(), nullptr);
    }
    void openPhoto(LumoraV2& w) {
        ASSERT_TRUE(w.openMediaByPath(writeImage(QStringLiteral("photo.png"))));
        ASSERT_FALSE(w.workspace()->hasSequence());
    }
    void setState(LumoraV2& w, WorkspaceState s, ActiveTool tool = NoTool) {
        w.workspace()->state = s;
        w.workspace()->activeTool = tool;
        w.steps().updateWindow();
    }
    QString currentPage(LumoraV2& w, const char* stack) {
        return find<QStackedWidget>(w, stack)->currentWidget()->objectName();
    }
    bool hidden(LumoraV2& w, const char* name) { return find(w, name)->isHidden(); }
    bool enabled(LumoraV2& w, const char* name) {
        if (auto* menu = find<QMenu>(w, name))
            return menu->menuAction()->isEnabled();
        if (auto* action = find<QAction>(w, name))
            return action->isEnabled();
        return find(w, name)->isEnabled();
    }
    QString topMenu(LumoraV2& w, const char* property) {
        return find(w, "frame_TopMenu")->property(property).toString();
    }
    // Messages whose text is the translation of `key`.
    int said(const char* key) {
        int n = 0;
        for (const auto& c : messages_->calls)
            n += c.text == translatedText(key);
        return n;
    }
};

constexpr std::array<const char*, 9> kActionColumns{"actionClose",
                                                    "actionUndo",
                                                    "actionRedo",
                                                    "actionHide_Show_histogram_panel",
                                                    "actionShow_EXIF",
                                                    "actionShow_tone_curve",
                                                    "actionHighlight_over_exposed_pixels",
                                                    "actionHighlight_under_exposed_pixels",
                                                    "menuVideo"};

// -1: the state leaves the action as it was.
struct StateExpectation {
    WorkspaceState state;
    int mode;
    const char* selectMenu; // nullptr: unchanged
    std::vector<std::pair<const char*, const char*>> pages;
    std::vector<std::pair<const char*, bool>> shown;
    std::vector<std::pair<const char*, bool>> enabled;
    std::array<int, 9> actions;
};

const std::vector<StateExpectation>& expectations() {
    static const std::vector<StateExpectation> e = {
        {SelectingFrame,
         1,
         "1",
         {{"stackedWidget_VerticalDock", "page_BASICCLASSIC_SelectImage"},
          {"stackedWidget_SelectingEditingOptions", "page_VideoPreviewOptions"},
          {"stackedWidget_SelectingEditingValidation", "page_BASICCLASSICSelectImageNext"},
          {"stackedWidget_CentralWidgetBottom", "page_TimeLine"}},
         {{"frame_SecondOptions", false},
          {"label_TrimStartPlayingBar", false},
          {"label_TrimEndPlayingBar", false},
          {"frame_CursorSelectorFlag", false}},
         {{"frame_MainOptions", true}},
         {1, -1, -1, 1, 0, 0, 1, 1, 1}},
        {SelectingFrame,
         3,
         "1",
         {{"stackedWidget_VerticalDock", "page_PRO_SelectImage"},
          {"stackedWidget_CentralWidgetBottom", "page_TimeLine"}},
         {{"frame_SecondOptions", false},
          {"label_TrimStartPlayingBar", false},
          {"frame_CursorSelectorFlag", false}},
         {{"frame_MainOptions", true}},
         {1, -1, -1, 1, 0, 0, 1, 1, 1}},
        {SearchingSharpest,
         3,
         nullptr,
         {{"stackedWidget_CentralWidgetBottom", "page_ProgressBar"}},
         {{"frame_SecondOptions", false}, {"label_ByClickingStop", false}},
         {{"frame_MainOptions", false}, {"Panel_ProgressBar", true}},
         {1, -1, -1, 1, 1, 0, 0, 0, 0}},
        {DefiningParameters,
         3,
         "2",
         {{"stackedWidget_VerticalDock", "page_PRO_DefineParams"},
          {"stackedWidget_CentralWidgetBottom", "page_TimeLine"}},
         {{"frame_SecondOptions", false},
          {"label_TrimStartPlayingBar", true},
          {"label_TrimEndPlayingBar", true},
          {"frame_CursorSelectorFlag", true}},
         {{"frame_MainOptions", true}},
         {1, -1, -1, 1, 0, 0, 1, 1, 1}},
        {Editing,
         1,
         "2",
         {{"stackedWidget_VerticalDock", "page_BASICCLASSIC_SelectImage"},
          {"stackedWidget_SelectingEditingOptions", "page_EditingOptions"},
          {"stackedWidget_SelectingEditingValidation", "page_BASICCLASSICEditingExport"},
          {"stackedWidget_CentralWidgetBottom", "page_TM"}},
         {{"frame_SecondOptions", false}, {"frame_ToolsBottom", false}},
         {{"frame_MainOptions", true}, {"frame_BottomPresets", true}},
         {1, 0, 0, 1, 0, 0, 1, 1, 0}},
        {Editing,
         2,
         "2",
         {{"stackedWidget_VerticalDock", "page_BASICCLASSIC_SelectImage"},
          {"stackedWidget_SelectingEditingOptions", "page_EditingOptions"},
          {"stackedWidget_CentralWidgetBottom", "page_TM"}},
         {{"frame_SecondOptions", true}, {"frame_ToolsBottom", false}},
         {{"frame_MainOptions", true}, {"frame_SecondOptions", true}, {"frame_BottomPresets", true}},
         {1, 0, 0, 1, 0, 0, 1, 1, 0}},
        {Editing,
         3,
         "3",
         {{"stackedWidget_VerticalDock", "page_PRO_Editing"},
          {"stackedWidget_CentralWidgetBottom", "page_TM"}},
         {{"frame_SecondOptions", true}, {"frame_ToolsBottom", false}},
         {{"frame_MainOptions", true}, {"frame_SecondOptions", true}, {"frame_BottomPresets", true}},
         {1, 0, 0, 1, 0, 0, 1, 1, 0}},
        {Exporting,
         1,
         "3",
         {{"stackedWidget_VerticalDock", "page_Exporting"},
          {"stackedWidget_CentralWidgetBottom", "page_ProgressBar"}},
         {{"frame_SecondOptions", false}, {"label_ByClickingStop", false}},
         {{"frame_MainOptions", true}, {"Panel_ProgressBar", true}, {"pushButton_ComputingCancel", true}},
         {1, 0, 0, 1, 1, 1, 0, 0, 0}},
        {Exporting,
         3,
         "4",
         {{"stackedWidget_VerticalDock", "page_Exporting"},
          {"stackedWidget_CentralWidgetBottom", "page_ProgressBar"}},
         {{"frame_SecondOptions", false}, {"label_ByClickingStop", false}},
         {{"frame_MainOptions", true}, {"Panel_ProgressBar", true}},
         {1, 0, 0, 1, 1, 1, 0, 0, 0}},
        {Stacking,
         3,
         nullptr,
         {{"stackedWidget_CentralWidgetBottom", "page_ProgressBar"}},
         {{"frame_SecondOptions", false}, {"label_ByClickingStop", true}},
         {{"frame_MainOptions", false}, {"Panel_ProgressBar", true}},
         {1, 0, 0, 1, 1, 0, 0, 0, 0}},
    };
    return e;
}

TEST_F(WorkflowTest, EveryObjectTheTablesNameExistsInTheForm) {
    auto w = makeWindow(1);
    const FormIndex& index = w->formIndex();
    EXPECT_TRUE(index.unresolved(emptyWindowLayout()).isEmpty())
        << index.unresolved(emptyWindowLayout()).join(' ').toStdString();
    EXPECT_TRUE(index.unresolved(workspaceLayout()).isEmpty());
    for (const StateLayout& row : allStateLayouts())
        EXPECT_TRUE(index.unresolved(row.cells).isEmpty())
            << "state " << row.state << ": " << index.unresolved(row.cells).join(' ').toStdString();
    for (const auto& e : windowtexts::kWidgets) {
        QObject* o = index.find(e.objectName);
        EXPECT_TRUE(qobject_cast<QLabel*>(o) || qobject_cast<QAbstractButton*>(o) ||
                    qobject_cast<QGroupBox*>(o))
            << e.objectName;
    }
    for (const auto& e : windowtexts::kToolTips)
        EXPECT_TRUE(qobject_cast<QWidget*>(index.find(e.objectName))) << e.objectName;
    std::map<std::string, int> items;
    for (const auto& e : windowtexts::kComboItems)
        ++items[e.objectName];
    for (const auto& [name, count] : items) {
        auto* combo = qobject_cast<QComboBox*>(index.find(name.c_str()));
        ASSERT_NE(combo, nullptr) << name;
        EXPECT_EQ(combo->count(), count) << name;
    }
}

TEST_F(WorkflowTest, FreshStartShowsTheModeChoiceAndChoosingAModeEnablesOpening) {
    auto w = makeWindow();
    EXPECT_EQ(w->steps().mode(), 0);
    EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidget"), QStringLiteral("page_VersionChoice"));
    for (const char* a :
         {"actionOpen", "actionOpen_photo_with_burst_mode", "actionOpen_photo_for_tone_mapping",
          "menuRecent_videos", "actionClose", "menuVideo"})
        EXPECT_FALSE(enabled(*w, a)) << a;
    EXPECT_TRUE(hidden(*w, "frame_TopTopMenu"));

    press(find(*w, "frame_SelectModePro"));
    EXPECT_EQ(w->steps().mode(), 3);
    EXPECT_EQ(settings::read(settings::WindowMode), 3);
    EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidget"), QStringLiteral("page_CentralHome"));
    for (const char* a : {"actionOpen", "actionOpen_photo_with_burst_mode",
                          "actionOpen_photo_for_tone_mapping", "menuRecent_videos"})
        EXPECT_TRUE(enabled(*w, a)) << a;
    EXPECT_FALSE(enabled(*w, "actionClose"));
    EXPECT_FALSE(hidden(*w, "frame_TopTopMenu"));
    EXPECT_EQ(currentPage(*w, "stackedWidget_ModeIcon"), QStringLiteral("page_ModeIconPro"));
    // No medium yet: the step bar shows no step.
    EXPECT_EQ(topMenu(*w, "nbMenu"), QStringLiteral("0"));
}

TEST_F(WorkflowTest, ModeChoiceClosedWithoutChoosingOpensAgain) {
    auto w = makeWindow();
    int shown = 0;
    ModalWatcher<ModeChoice> watcher([&shown](ModeChoice& d) {
        if (++shown == 1)
            d.reject();
        else
            press(d.findChild<QWidget*>(QStringLiteral("frame_Classic")));
    });
    EXPECT_EQ(w->steps().askMode(), 2);
    EXPECT_EQ(watcher.seen(), 2);
}

TEST_F(WorkflowTest, OpeningWithoutAModeAsksForOneFirst) {
    auto w = makeWindow();
    ModalWatcher<ModeChoice> watcher(
        [](ModeChoice& d) { press(d.findChild<QWidget*>(QStringLiteral("frame_Basic"))); });
    ASSERT_TRUE(w->openMediaByPath(writeImage(QStringLiteral("photo.png"))));
    EXPECT_EQ(watcher.seen(), 1);
    EXPECT_EQ(w->steps().mode(), 1);
    EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidget"), QStringLiteral("page_Video"));
}

TEST_F(WorkflowTest, ModeIconChangesTheModeOnlyWhileNothingIsOpen) {
    auto w = makeWindow(1);
    ModalWatcher<ModeChoice> watcher(
        [](ModeChoice& d) { press(d.findChild<QWidget*>(QStringLiteral("frame_Pro"))); });
    press(find(*w, "label_ModeIconBasic"));
    EXPECT_EQ(watcher.seen(), 1);
    EXPECT_EQ(w->steps().mode(), 3);
    EXPECT_EQ(currentPage(*w, "stackedWidget_ModeIcon"), QStringLiteral("page_ModeIconPro"));

    openBurst(*w);
    press(find(*w, "label_ModeIconPro"));
    w->steps().PushButtonVersionBasicClicked();
    settle();
    EXPECT_EQ(watcher.seen(), 1);
    EXPECT_EQ(w->steps().mode(), 3);
}

TEST_F(WorkflowTest, StepLabelsFollowTheModeAndWhatIsOpen) {
    auto w = makeWindow(3);
    openBurst(*w);
    const char* proKeys[] = {"PROStep1", "PROStep2", "PROStep3", "PROStep4"};
    for (int k = 1; k <= 4; ++k) {
        auto* label = find<QLabel>(*w, qPrintable(QStringLiteral("label_Step%1").arg(k)));
        EXPECT_EQ(label->text(), QStringLiteral("%1. ").arg(k) + translatedText(proKeys[k - 1]));
        EXPECT_FALSE(find(*w, qPrintable(QStringLiteral("frame_Step%1").arg(k)))->isHidden());
    }
    EXPECT_EQ(topMenu(*w, "nbMenu"), QStringLiteral("4"));
    EXPECT_EQ(topMenu(*w, "selectMenu"), QStringLiteral("1"));
    EXPECT_TRUE(hidden(*w, "frame_GrabFrame")); // Pro chooses one frame instead of grabbing

    // A single photo has two steps, the first highlighted.
    settings::write(settings::WindowMode, 1);
    auto basic = makeWindow();
    openPhoto(*basic);
    EXPECT_EQ(topMenu(*basic, "nbMenu"), QStringLiteral("2"));
    EXPECT_EQ(topMenu(*basic, "selectMenu"), QStringLiteral("1"));
    EXPECT_EQ(find<QLabel>(*basic, "label_Step2")->text(),
              QStringLiteral("2. ") + translatedText("BASICOnlyTMStep2"));
    EXPECT_TRUE(hidden(*basic, "frame_Step3"));
    EXPECT_TRUE(hidden(*basic, "frame_Step4"));
    EXPECT_TRUE(find<QTabWidget>(*basic, "tabWidget_Presets")->tabBar()->isHidden());

    messages_->choices = {1};
    ASSERT_TRUE(basic->opening().closeWorkspace());
    EXPECT_EQ(topMenu(*basic, "nbMenu"), QStringLiteral("0"));
    EXPECT_TRUE(hidden(*basic, "frame_Step1"));
}

TEST_F(WorkflowTest, EveryStateShowsItsPagesPanelsAndActions) {
    for (const StateExpectation& e : expectations()) {
        SCOPED_TRACE(testing::Message() << "state " << e.state << " mode " << e.mode);
        settings::write(settings::WindowMode, e.mode);
        auto w = makeWindow();
        openBurst(*w);
        // Run twice from opposite starting points, so that "unchanged" shows up as unchanged.
        for (bool before : {true, false}) {
            for (const char* a : kActionColumns) {
                if (auto* menu = find<QMenu>(*w, a))
                    menu->menuAction()->setEnabled(before);
                else
                    find<QAction>(*w, a)->setEnabled(before);
            }
            find(*w, "frame_TopMenu")->setProperty("selectMenu", QStringLiteral("9"));
            setState(*w, e.state);
            EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidget"), QStringLiteral("page_Video"));
            EXPECT_EQ(topMenu(*w, "selectMenu"), QString::fromLatin1(e.selectMenu ? e.selectMenu : "9"));
            for (const auto& [stack, page] : e.pages)
                EXPECT_EQ(currentPage(*w, stack), QString::fromLatin1(page)) << stack;
            for (const auto& [name, on] : e.shown)
                EXPECT_EQ(!hidden(*w, name), on) << name;
            for (const auto& [name, on] : e.enabled)
                EXPECT_EQ(enabled(*w, name), on) << name;
            for (size_t i = 0; i < kActionColumns.size(); ++i) {
                const bool expected = e.actions[i] < 0 ? before : e.actions[i] == 1;
                EXPECT_EQ(enabled(*w, kActionColumns[i]), expected) << kActionColumns[i];
            }
        }
    }
}

TEST_F(WorkflowTest, ToolActiveDisablesThePanelsAndKeepsPagesAndActions) {
    auto w = makeWindow(2);
    openBurst(*w);
    setState(*w, Editing);
    find<QAction>(*w, "actionUndo")->setEnabled(true);
    const QString dock = currentPage(*w, "stackedWidget_VerticalDock");
    setState(*w, ToolActive, CropTool);
    EXPECT_EQ(currentPage(*w, "stackedWidget_VerticalDock"), dock);
    EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidgetBottom"), QStringLiteral("page_TM"));
    for (const char* panel : {"frame_MainOptions", "frame_SecondOptions", "frame_BottomPresets"})
        EXPECT_FALSE(enabled(*w, panel)) << panel;
    EXPECT_FALSE(hidden(*w, "frame_ToolsBottom"));
    EXPECT_TRUE(hidden(*w, "frame_BeforeAfter"));
    EXPECT_TRUE(enabled(*w, "actionUndo"));
    EXPECT_EQ(topMenu(*w, "selectMenu"), QStringLiteral("2"));

    // Cancelling the tool is back to editing, comparison included.
    w->findChild<QPushButton*>(QStringLiteral("pushButton_CancelTool"))->click();
    EXPECT_EQ(w->workspace()->state, Editing);
    EXPECT_EQ(w->workspace()->activeTool, NoTool);
    EXPECT_FALSE(hidden(*w, "frame_BeforeAfter"));
    EXPECT_TRUE(hidden(*w, "frame_ToolsBottom"));
}

TEST_F(WorkflowTest, SinglePhotoHighlightsItsOwnSteps) {
    auto w = makeWindow(3);
    openPhoto(*w);
    EXPECT_EQ(w->workspace()->state, Editing);
    EXPECT_EQ(topMenu(*w, "selectMenu"), QStringLiteral("1"));
    setState(*w, Exporting);
    EXPECT_EQ(topMenu(*w, "selectMenu"), QStringLiteral("2"));
}

TEST_F(WorkflowTest, StackedWidgetsGiveRoomOnlyToTheirCurrentPage) {
    auto w = makeWindow(1);
    openBurst(*w);
    auto* bottom = find<QStackedWidget>(*w, "stackedWidget_CentralWidgetBottom");
    auto check = [bottom] {
        for (int i = 0; i < bottom->count(); ++i) {
            const auto expected =
                bottom->widget(i) == bottom->currentWidget() ? QSizePolicy::Maximum : QSizePolicy::Ignored;
            EXPECT_EQ(bottom->widget(i)->sizePolicy().verticalPolicy(), expected) << i;
            EXPECT_EQ(bottom->widget(i)->sizePolicy().horizontalPolicy(), expected) << i;
        }
    };
    check();
    setState(*w, Editing);
    EXPECT_EQ(bottom->currentWidget()->objectName(), QStringLiteral("page_TM"));
    check();
}

TEST_F(WorkflowTest, BasicSelectionRefusesLaterStepsAndIgnoresItsOwn) {
    auto w = makeWindow(1);
    openBurst(*w);
    w->steps().goToStep(1);
    EXPECT_TRUE(messages_->calls.empty());
    EXPECT_EQ(w->workspace()->state, SelectingFrame);

    // Through the label, as the user clicks it.
    press(find(*w, "label_Step3"));
    ASSERT_EQ(messages_->calls.size(), 1u);
    EXPECT_EQ(messages_->calls[0].kind, MessageKind::Error);
    EXPECT_EQ(messages_->calls[0].title, translatedText("Error"));
    EXPECT_EQ(messages_->calls[0].text, translatedText("OperationNotAllowed"));
    w->steps().goToStep(4);
    EXPECT_EQ(said("OperationNotAllowed"), 2);
    EXPECT_EQ(w->workspace()->state, SelectingFrame);

    // Next without a grabbed frame asks for one.
    w->steps().goToStep(2);
    EXPECT_EQ(said("GrabAFrameFirst"), 1);
    EXPECT_EQ(w->workspace()->state, SelectingFrame);
}

TEST_F(WorkflowTest, LongOperationsAnswerStepClicksWithWait) {
    auto w = makeWindow(3);
    openBurst(*w);
    setState(*w, Stacking);
    for (int k : {1, 3, 4})
        w->steps().goToStep(k);
    EXPECT_EQ(said("WaitEndProcess"), 3);
    EXPECT_EQ(countTitled("PleaseWait"), 3);
    w->steps().goToStep(2);
    EXPECT_EQ(said("WaitEndProcess"), 3);
    EXPECT_EQ(w->workspace()->state, Stacking);

    setState(*w, SearchingSharpest);
    w->steps().goToStep(1);
    EXPECT_EQ(said("WaitEndProcess"), 3);
    for (int k : {2, 3, 4})
        w->steps().goToStep(k);
    EXPECT_EQ(said("WaitEndProcess"), 6);
}

TEST_F(WorkflowTest, ExportingIsBusyExceptOnTheExportStep) {
    auto w = makeWindow(2);
    openBurst(*w);
    setState(*w, Exporting);
    w->steps().goToStep(3);
    EXPECT_EQ(said("WaitEndProcess"), 0);
    for (int k : {1, 2, 4})
        w->steps().goToStep(k);
    EXPECT_EQ(said("WaitEndProcess"), 3);

    auto photo = makeWindow(2);
    openPhoto(*photo);
    setState(*photo, Exporting);
    photo->steps().goToStep(2);
    EXPECT_EQ(said("WaitEndProcess"), 3);
    photo->steps().goToStep(1);
    EXPECT_EQ(said("WaitEndProcess"), 4);
}

TEST_F(WorkflowTest, ProStepsMoveBetweenSelectionAndParameters) {
    auto w = makeWindow(3);
    openBurst(*w, 6);
    ImagesSequence* sequence = w->workspace()->sequence();
    sequence->setCurrentFrame(3, true);
    w->steps().goToStep(2);
    EXPECT_EQ(w->workspace()->state, DefiningParameters);
    EXPECT_EQ(w->workspace()->centreIndex, 3);
    EXPECT_EQ(topMenu(*w, "selectMenu"), QStringLiteral("2"));
    EXPECT_EQ(find<QLabel>(*w, "label_CursorSelectorFlag")->text(), QStringLiteral("3"));
    // Eight frames each side do not fit: the counts are limited by the ends of the medium.
    EXPECT_EQ(sequence->firstIndex(), 0);
    EXPECT_EQ(sequence->lastIndex(), 5);
    find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->setValue(1);
    EXPECT_EQ(sequence->firstIndex(), 2);

    w->steps().goToStep(4);
    EXPECT_EQ(said("OperationNotAllowed"), 1);
    EXPECT_EQ(w->workspace()->state, DefiningParameters);

    w->steps().goToStep(1);
    EXPECT_EQ(w->workspace()->state, SelectingFrame);
    EXPECT_EQ(sequence->firstIndex(), 0);
    EXPECT_EQ(sequence->lastIndex(), 5);

    setState(*w, Editing);
    w->steps().goToStep(2);
    EXPECT_EQ(w->workspace()->state, DefiningParameters);
    EXPECT_EQ(currentPage(*w, "stackedWidget_VerticalDock"), QStringLiteral("page_PRO_DefineParams"));
}

TEST_F(WorkflowTest, LeavingBasicEditingKeepsTheTrimRange) {
    auto w = makeWindow(1);
    openBurst(*w, 5);
    ImagesSequence* sequence = w->workspace()->sequence();
    sequence->setFirstIndex(1);
    sequence->setLastIndex(2);
    setState(*w, Editing);
    w->steps().goToStep(1);
    EXPECT_EQ(w->workspace()->state, SelectingFrame);
    EXPECT_EQ(sequence->firstIndex(), 1);
    EXPECT_EQ(sequence->lastIndex(), 2);
    EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidgetBottom"), QStringLiteral("page_TimeLine"));
}

TEST_F(WorkflowTest, StepClickWithAToolLeavesTheToolOnlyForItsSteps) {
    auto w = makeWindow(1);
    openBurst(*w);
    setState(*w, ToolActive, HorizonTool);
    w->steps().goToStep(1);
    EXPECT_EQ(w->workspace()->state, SelectingFrame);
    EXPECT_EQ(w->workspace()->activeTool, NoTool);

    auto pro = makeWindow(3);
    openBurst(*pro);
    setState(*pro, ToolActive, CropTool);
    pro->steps().goToStep(3);
    EXPECT_EQ(pro->workspace()->state, ToolActive);
    EXPECT_EQ(pro->workspace()->activeTool, CropTool);
    pro->steps().goToStep(2);
    EXPECT_EQ(pro->workspace()->state, DefiningParameters);
    EXPECT_EQ(pro->workspace()->activeTool, NoTool);
}

TEST_F(WorkflowTest, InitialPresentationHidesWhatLaterStepsShow) {
    auto w = makeWindow(1);
    for (const char* name :
         {"frame_LoadingIcone", "label_TM3_Gamma", "horizontalSlider_TM3_Gamma", "label_TM4_Gamma",
          "horizontalSlider_TM4_Gamma", "horizontalSlider_TMSharpeningThreshold", "frame_SelectedImageTop",
          "label_zoomIn", "label_zoomOut", "checkBox_UseThisMode", "horizontalSlider_AntighostingP2",
          "lcdNumber_AntighostingP2", "checkBox_FastPreview"})
        EXPECT_TRUE(hidden(*w, name)) << name;
    EXPECT_FALSE(find(*w, "page_Exporting")->isEnabled());
    EXPECT_EQ(find(*w, "page_Exporting")->toolTip(), translatedText("CommingSoon"));
    EXPECT_FALSE(find<QMenu>(*w, "menuPanels")->menuAction()->isVisible());
    auto* tabs = find<QTabWidget>(*w, "tabWidget_Presets");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(tabs->tabBar()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(find<QStackedWidget>(*w, "stackedWidget_TM")->currentIndex(),
              find<QComboBox>(*w, "comboBox_TM")->currentIndex());
}

TEST_F(WorkflowTest, ControlsHaveTheirDesignedRangesAndStartValues) {
    auto w = makeWindow(3);
    struct Range {
        const char* name;
        int min, max, value;
    };
    for (const Range& r : {Range{"horizontalSlider_VideoSpeed", -12, 0, 0},
                           Range{"horizontalSlider_VideoBrightness", -12, 12, 0},
                           Range{"horizontalSlider_AntighostingP1", 0, 100, 100},
                           Range{"horizontalSlider_AntighostingP2", 0, 100, 30},
                           Range{"horizontalSlider_Rotation", -180, 180, 0},
                           Range{"horizontalSlider_Rotation_2", -180, 180, 0},
                           Range{"horizontalSlider_TMExposition", -100, 100, 0},
                           Range{"horizontalSlider_TMWhiteClip", 0, 100, 0},
                           Range{"horizontalSlider_TMSharpeningAmount", 0, 100, 50},
                           Range{"horizontalSlider_TMSharpeningRadius", 0, 20, 3},
                           Range{"horizontalSlider_TMSharpeningThreshold", 0, 100, 25}}) {
        auto* s = find<QSlider>(*w, r.name);
        ASSERT_NE(s, nullptr) << r.name;
        EXPECT_EQ(s->minimum(), r.min) << r.name;
        EXPECT_EQ(s->maximum(), r.max) << r.name;
        EXPECT_EQ(s->value(), r.value) << r.name;
    }
    // Operator and rotation sliders deliver their value on release; the others on every step.
    for (const char* name :
         {"horizontalSlider_TMAlpha", "horizontalSlider_TM4_Gamma", "horizontalSlider_Rotation_2"})
        EXPECT_FALSE(find<QSlider>(*w, name)->hasTracking()) << name;
    EXPECT_TRUE(find<QSlider>(*w, "horizontalSlider_TMContrast")->hasTracking());
    EXPECT_EQ(find<QSlider>(*w, "horizontalSlider_Rotation")->pageStep(), 90);
    EXPECT_EQ(find<QSlider>(*w, "horizontalSlider_AntighostingP1")->pageStep(), 1);
    EXPECT_FALSE(find<QSlider>(*w, "horizontalSlider_AntighostingP1")->isEnabled());
    EXPECT_EQ(find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->value(), 8);
    EXPECT_EQ(find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->value(), 8);
    auto* search = find<QSpinBox>(*w, "spinBox_FindSharpestImage");
    EXPECT_EQ(search->value(), 10);
    EXPECT_EQ(search->minimum(), 2);
    EXPECT_EQ(search->maximum(), 999);
    EXPECT_TRUE(find<QAbstractButton>(*w, "radioButton_HighAntighosting")->isChecked());
    EXPECT_TRUE(find<QAbstractButton>(*w, "checkBox_AutoAntighostingP2")->isChecked());
    EXPECT_TRUE(find<QAbstractButton>(*w, "checkBox_Align")->isChecked());
    auto* quality = find<QComboBox>(*w, "comboBox_Quality");
    EXPECT_EQ(quality->currentIndex(), 1);
    EXPECT_EQ(quality->itemText(2), translatedText("Optimal"));
    EXPECT_EQ(find<QComboBox>(*w, "comboBox_TM")->itemText(3), translatedText("TM4"));
    EXPECT_EQ(find<QWidget>(*w, "label_VideoPreview")->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(WorkflowTest, AntighostingChoicesPresetThePowerSlider) {
    auto w = makeWindow(3);
    auto* power = find<QSlider>(*w, "horizontalSlider_AntighostingP1");
    find<QAbstractButton>(*w, "radioButton_MediumAntighosting")->click();
    EXPECT_EQ(power->value(), 80);
    EXPECT_FALSE(power->isEnabled());
    find<QAbstractButton>(*w, "radioButton_LongExposure")->click();
    EXPECT_EQ(power->value(), 0);
    find<QAbstractButton>(*w, "radioButton_CustomAntighosting")->click();
    EXPECT_EQ(power->value(), 0);
    EXPECT_TRUE(power->isEnabled());
    find<QAbstractButton>(*w, "checkBox_AutoAntighostingP2")->click();
    EXPECT_FALSE(hidden(*w, "horizontalSlider_AntighostingP2"));
    EXPECT_FALSE(hidden(*w, "lcdNumber_AntighostingP2"));
}

TEST_F(WorkflowTest, PressOnTheImageWritesThePixelPosition) {
    auto w = makeWindow(2);
    ASSERT_TRUE(w->openMediaByPath(writeImage(QStringLiteral("wide.png"), cv::Scalar(1, 2, 3), 400, 100)));
    auto* label = find<QLabel>(*w, "label_VideoPreview");
    ASSERT_GT(label->width(), 0);
    // The image is shown at the label's size; a press maps back to the medium's pixels.
    EXPECT_NEAR(label->width(), 4 * label->height(), 4);
    press(label, QPoint(label->width() / 2, label->height() / 4));
    EXPECT_EQ(w->statusBar()->currentMessage(), QStringLiteral("x: %1   y: %2")
                                                    .arg(label->width() / 2 * 400 / label->width())
                                                    .arg(label->height() / 4 * 100 / label->height()));
}

} // namespace
