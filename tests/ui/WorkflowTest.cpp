// Modes, steps and pages of the main window, driven through the real window: the mode choice, the steps
// shown for what is open, what each kind of state lets the user do, and what clicking a step label does.

#include "WindowTestSupport.h"
#include "ui/ModeChoice.h"
#include "ui/OpeningController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/StepsController.h"
#include "ui/Workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>

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
        ASSERT_NE(w.model().workspace(), nullptr);
    }
    void openPhoto(LumoraV2& w) {
        ASSERT_TRUE(w.openMediaByPath(writeImage(QStringLiteral("photo.png"))));
        ASSERT_FALSE(w.model().workspace()->hasSequence());
    }
    void setState(LumoraV2& w, WorkspaceState s, ActiveTool tool = NoTool) {
        w.model().setState(s);
        w.model().setActiveTool(tool);
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
    // Answers the mode choice by clicking the frame of a mode.
    static std::function<void(ModeChoice&)> pick(const char* frame) {
        return [frame](ModeChoice& d) { press(d.findChild<QWidget*>(QString::fromLatin1(frame))); };
    }
    // Step clicks answered with a message, since `from`.
    int refusals(size_t from = 0) const { return int(messages_->calls.size() - from); }
};

TEST_F(WorkflowTest, AModeIsChosenBeforeAnythingOpensAndOnlyWhileNothingIsOpen) {
    auto w = makeWindow();
    EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidget"), QStringLiteral("page_VersionChoice"));
    for (const char* a :
         {"actionOpen", "actionOpen_photo_with_burst_mode", "menuRecent_videos", "actionClose"})
        EXPECT_FALSE(enabled(*w, a)) << a;
    press(find(*w, "frame_SelectModePro"));
    EXPECT_EQ(w->steps().mode(), 3);
    EXPECT_EQ(settings::read(settings::WindowMode), 3);
    EXPECT_EQ(currentPage(*w, "stackedWidget_CentralWidget"), QStringLiteral("page_CentralHome"));
    for (const char* a : {"actionOpen", "actionOpen_photo_with_burst_mode", "menuRecent_videos"})
        EXPECT_TRUE(enabled(*w, a)) << a;
    EXPECT_FALSE(enabled(*w, "actionClose"));
    EXPECT_EQ(topMenu(*w, "nbMenu"), QStringLiteral("0")) << "no medium yet: no step";

    { // Closing the mode choice without choosing asks again.
        int shown = 0;
        ModalWatcher<ModeChoice> again([&shown](ModeChoice& d) {
            if (++shown == 1)
                d.reject();
            else
                pick("frame_Classic")(d);
        });
        EXPECT_EQ(w->steps().askMode(), 2);
        EXPECT_EQ(again.seen(), 2);
    }

    // The mode icon changes the mode while nothing is open, and not once a medium is.
    ModalWatcher<ModeChoice> watcher(pick("frame_Basic"));
    press(find(*w, "label_ModeIconPro"));
    EXPECT_EQ(w->steps().mode(), 1);
    EXPECT_EQ(currentPage(*w, "stackedWidget_ModeIcon"), QStringLiteral("page_ModeIconBasic"));
    openBurst(*w);
    press(find(*w, "label_ModeIconBasic"));
    w->steps().PushButtonVersionProClicked();
    settle();
    EXPECT_EQ(watcher.seen(), 1);
    EXPECT_EQ(w->steps().mode(), 1);
}

TEST_F(WorkflowTest, AModeChosenWithItsBoxTickedIsRememberedAcrossARestart) {
    struct Case {
        bool keep;
        int remembered; // the mode the next start begins in (0: it asks again)
    };
    for (const Case c : {Case{true, 3}, Case{false, 0}}) {
        SCOPED_TRACE(c.keep ? "kept" : "not kept");
        settings::write(settings::WindowMode, 0);
        {
            auto w = makeWindow();
            EXPECT_FALSE(hidden(*w, "checkBox_UseThisMode")) << "the home page's box is offered";
            bool boxShown = false;
            ModalWatcher<ModeChoice> choose([&](ModeChoice& d) {
                auto* box = d.findChild<QCheckBox*>(QStringLiteral("checkBox_OpenModeAuto"));
                boxShown = box && !box->isHidden();
                if (box)
                    box->setChecked(c.keep);
                pick("frame_Pro")(d);
            });
            openPhoto(*w);
            EXPECT_EQ(choose.seen(), 1);
            EXPECT_TRUE(boxShown);
            EXPECT_EQ(w->steps().mode(), 3);
        }
        // The next start.
        auto again = makeWindow();
        EXPECT_EQ(again->steps().mode(), c.remembered);
        ModalWatcher<ModeChoice> asked(pick("frame_Basic"));
        openPhoto(*again);
        EXPECT_EQ(asked.seen(), c.keep ? 0 : 1);
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
    EXPECT_EQ(w->model().workspace()->state, Editing);
    EXPECT_EQ(w->model().workspace()->activeTool, NoTool);
    EXPECT_FALSE(hidden(*w, "frame_BeforeAfter"));
    EXPECT_TRUE(hidden(*w, "frame_ToolsBottom"));
}

TEST_F(WorkflowTest, BasicSelectionRefusesLaterStepsAndIgnoresItsOwn) {
    auto w = makeWindow(1);
    openBurst(*w);
    w->steps().goToStep(1);
    EXPECT_EQ(refusals(), 0);
    press(find(*w, "label_Step3")); // through the label, as the user clicks it
    w->steps().goToStep(4);
    ASSERT_EQ(refusals(), 2);
    EXPECT_EQ(messages_->calls[0].kind, MessageKind::Error);
    EXPECT_EQ(messages_->calls[1].text, messages_->calls[0].text);
    EXPECT_EQ(w->model().workspace()->state, SelectingFrame);
    // Next without a grabbed frame asks for one: another message.
    w->steps().goToStep(2);
    ASSERT_EQ(refusals(), 3);
    EXPECT_NE(messages_->calls[2].text, messages_->calls[0].text);
    EXPECT_EQ(w->model().workspace()->state, SelectingFrame);
}

TEST_F(WorkflowTest, ProStepsMoveBetweenSelectionAndParameters) {
    auto w = makeWindow(3);
    openBurst(*w, 6);
    ImagesSequence* sequence = w->model().workspace()->sequence();
    sequence->setCurrentFrame(3, true);
    w->steps().goToStep(2);
    EXPECT_EQ(w->model().workspace()->state, DefiningParameters);
    EXPECT_EQ(w->model().workspace()->centreIndex, 3);
    EXPECT_EQ(topMenu(*w, "selectMenu"), QStringLiteral("2"));
    EXPECT_EQ(find<QLabel>(*w, "label_CursorSelectorFlag")->text(), QStringLiteral("3"));
    // Eight frames each side do not fit: the counts are limited by the ends of the medium.
    EXPECT_EQ(sequence->firstIndex(), 0);
    EXPECT_EQ(sequence->lastIndex(), 5);
    find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->setValue(1);
    EXPECT_EQ(sequence->firstIndex(), 2);

    w->steps().goToStep(4);
    EXPECT_EQ(refusals(), 1);
    EXPECT_EQ(w->model().workspace()->state, DefiningParameters);

    w->steps().goToStep(1);
    EXPECT_EQ(w->model().workspace()->state, SelectingFrame);
    EXPECT_EQ(sequence->firstIndex(), 0);
    EXPECT_EQ(sequence->lastIndex(), 5);

    setState(*w, Editing);
    w->steps().goToStep(2);
    EXPECT_EQ(w->model().workspace()->state, DefiningParameters);
    EXPECT_EQ(currentPage(*w, "stackedWidget_VerticalDock"), QStringLiteral("page_PRO_DefineParams"));
}

// The model announces what changed, once, and only what did: removing the edited picture also leaves
// nothing edited; with nothing open there is nothing to change.
TEST_F(WorkflowTest, TheModelAnnouncesARemovedEditedPictureAndNothingOnceTheMediumIsClosed) {
    auto w = makeWindow(2);
    openPhoto(*w);
    WindowModel& model = w->model();
    SharpestImageSelection* photo = model.edited();
    ASSERT_NE(photo, nullptr);
    int selectionsAnnounced = 0, editedAnnounced = 0, statesAnnounced = 0;
    QObject::connect(&model, &WindowModel::selectionsChanged, [&] { ++selectionsAnnounced; });
    QObject::connect(&model, &WindowModel::editedChanged, [&](SharpestImageSelection* s) {
        ++editedAnnounced;
        EXPECT_EQ(s, nullptr);
    });
    QObject::connect(&model, &WindowModel::stateChanged, [&] { ++statesAnnounced; });
    model.setState(Editing); // already editing
    model.removeSelection(photo);
    EXPECT_EQ(model.edited(), nullptr);
    EXPECT_TRUE(w->model().workspace()->liveSelections().empty());
    EXPECT_EQ(selectionsAnnounced, 1);
    EXPECT_EQ(editedAnnounced, 1);
    EXPECT_EQ(statesAnnounced, 0);
    // Removed from the medium, the widget is ours to delete.
    delete photo;

    w->opening().closeNow();
    model.setState(SelectingFrame);
    model.setActiveTool(CropTool);
    EXPECT_EQ(statesAnnounced, 0);
    EXPECT_EQ(model.edited(), nullptr);
}

} // namespace
