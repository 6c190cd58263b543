// Grabbing frames in Basic and Classic through the real window: the grab limit, the pins on the timeline and
// their colours, stepping through the sharper frames the background search found, naming the edited
// selections, and the Pro before/after buttons around the chosen frame.

#include "FlowTestSupport.h"
#include "ui/EditingController.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/PresetImage.h"
#include "ui/PresetStrips.h"
#include "ui/SelectionFlowController.h"
#include "ui/StepsController.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

namespace {

using namespace lumora;
using namespace lumora::test;

class SelectionFlowTest : public FlowTest {
protected:
    // Waits until every selection's background search has reported.
    void waitForSearches(LumoraV2& w) {
        ASSERT_TRUE(waitFor([&] {
            for (SharpestImageSelection* s : selections(w))
                if (s->candidates().empty())
                    return false;
            return true;
        }));
    }
    QPushButton* button(SharpestImageSelection* s, const char* name) {
        return s->findChild<QPushButton*>(QString::fromLatin1(name));
    }
};

TEST_F(SelectionFlowTest, BasicKeepsThreeGrabbedFramesAndClassicHasNoLimit) {
    struct Case {
        int mode, grabs, kept, refusals;
    };
    for (const Case c : {Case{1, 4, 3, 1}, Case{2, 5, 5, 0}}) {
        messages_->calls.clear();
        auto w = openScene(c.mode);
        for (int i = 0; i < c.grabs; ++i)
            grab(*w, {3 * i});
        EXPECT_EQ(int(selections(*w).size()), c.kept) << c.mode;
        EXPECT_EQ(said("GrabedFrameLimitReached"), c.refusals) << c.mode;
        EXPECT_EQ(countTitled("GrabedFrameLimitReachedTitle"), c.refusals) << c.mode;
        // Each selection is the frame the player showed when it was grabbed.
        for (int i = 0; i < c.kept; ++i)
            EXPECT_EQ(selections(*w)[std::size_t(i)]->frameIndex(), 3 * i) << c.mode;
    }
}

TEST_F(SelectionFlowTest, PinsStandOnTheirFramesTheSixteenthReusesTheFirstColourAndCloseRemovesThem) {
    auto w = openScene(2);
    const int n = w->model().workspace()->sequence()->frameCount();
    grab(*w, {0, n - 1});
    for (int i = 1; i < 16; ++i)
        grab(*w, {i});
    const auto all = selections(*w);
    ASSERT_EQ(all.size(), 17u);
    QWidget* bar = find(*w, "label_BackgroundMidPlayingBar");
    auto centre = [](QWidget* pin) { return pin->x() + pin->width() / 2; };
    EXPECT_TRUE(all[0]->pin()->isVisible());
    EXPECT_NEAR(centre(all[0]->pin()), bar->x(), 1);
    EXPECT_NEAR(centre(all[1]->pin()), bar->x() + bar->width(), 1);
    EXPECT_LT(all[0]->pin()->y() + all[0]->pin()->height(), bar->y() + bar->height());

    // Serial numbers run on; fifteen colours go round.
    const SharpestImageSelection* first = all[0];
    const SharpestImageSelection* sixteenth = all[15];
    ASSERT_EQ(sixteenth->serial(), first->serial() + 15);
    const QImage a = first->pin()->pixmap(Qt::ReturnByValue).toImage();
    EXPECT_EQ(a, sixteenth->pin()->pixmap(Qt::ReturnByValue).toImage());
    EXPECT_NE(a, all[1]->pin()->pixmap(Qt::ReturnByValue).toImage());

    // Closing a selection removes it and its pin.
    QPointer<SharpestImageSelection> gone = all[0];
    QPointer<QLabel> pin = gone->pin();
    button(gone, "pushButton_Close")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone.isNull());
    EXPECT_TRUE(pin.isNull());
    ASSERT_EQ(selections(*w).size(), 16u);
    EXPECT_EQ(selections(*w).front()->frameIndex(), n - 1);
}

TEST_F(SelectionFlowTest, SteppingMovesThroughSharperFramesAndClampsAtBothEnds) {
    auto w = openScene(2);
    grab(*w, {12});
    waitForSearches(*w);
    SharpestImageSelection* s = selections(*w).front();
    // A known list: two sharper frames, then the grabbed one.
    SharpestCandidates found;
    found.insert({50.f, 14});
    found.insert({25.f, 10});
    found.insert({5.f, 12});
    s->processWellFinished(found);
    QPushButton* plus = button(s, "pushButton_Plus");
    QPushButton* minus = button(s, "pushButton_Minus");
    EXPECT_EQ(s->frameIndex(), 12);
    EXPECT_TRUE(plus->isEnabled());
    EXPECT_FALSE(minus->isEnabled());
    auto* text = s->findChild<QLabel*>(QStringLiteral("label_SharpestImageSelectionText"));
    EXPECT_EQ(text->text(), translatedText("GenericSharpText").arg(10));

    std::vector<int> shown;
    QObject::connect(s, &SharpestImageSelection::selecting, [&](int i) { shown.push_back(i); });
    for (int k = 0; k < 3; ++k)
        s->PushButtonPlusClicked();
    EXPECT_EQ(shown, (std::vector<int>{10, 14, 14}));
    EXPECT_EQ(s->frameIndex(), 14);
    EXPECT_FALSE(plus->isEnabled());
    EXPECT_EQ(text->text(), translatedText("GenericSharpText").arg(100));
    // The picture is now that frame, as the sequence reads it.
    const cv::Mat expected = w->model().workspace()->sequence()->getCvImageAt(14, false);
    EXPECT_EQ(cv::norm(s->image(), expected, cv::NORM_INF), 0.0);
    for (int k = 0; k < 3; ++k)
        s->PushButtonMinusClicked();
    EXPECT_EQ(s->frameIndex(), 12);
    EXPECT_FALSE(minus->isEnabled());
    // A search that found only the grabbed frame leaves nowhere to step.
    s->processWellFinished(SharpestCandidates{{3.f, 12}});
    EXPECT_FALSE(plus->isEnabled());
    EXPECT_FALSE(minus->isEnabled());
}

TEST_F(SelectionFlowTest, NextNamesTheFramesEditsTheFirstAndBuildsTheStripAndBackLeavesNothingToUndo) {
    for (int mode : {1, 2}) {
        auto w = openScene(mode);
        grab(*w, {1, 7});
        w->flow().PushButtonSelectImageNextClicked();
        EXPECT_EQ(w->model().workspace()->state, Editing) << mode;
        const auto all = selections(*w);
        EXPECT_EQ(all[0]->exportName(), QStringLiteral("1"));
        EXPECT_EQ(all[1]->exportName(), QStringLiteral("2"));
        EXPECT_EQ(w->model().workspace()->edited, all[0]);
        EXPECT_TRUE(all[0]->property("isSelected").toBool());
        EXPECT_FALSE(all[0]->pin()->isVisible());
        // Basic offers the three built-in presets; Classic the shipped file's.
        const auto strip = w->editing().strips().builtIn();
        if (mode == 1)
            EXPECT_EQ(strip.size(), 3u);
        else
            EXPECT_EQ(strip.size(), defaultPresets().size());
        ASSERT_FALSE(strip.empty());
        EXPECT_TRUE(waitFor([&] { return strip.front()->hasThumbnail() && !all[0]->preview().empty(); }));

        QAction* undo = find<QAction>(*w, "actionUndo");
        QSlider* exposure = find<QSlider>(*w, "horizontalSlider_TMExposition");
        exposure->setValue(exposure->value() + 20);
        ASSERT_TRUE(waitRendered(*w));
        ASSERT_TRUE(undo->isEnabled());
        const int moved = exposure->value();

        // Back to selection by its step label: nothing is edited, the pins return, nothing is left to undo.
        press(find(*w, "label_Step1"));
        ASSERT_EQ(w->model().workspace()->state, SelectingFrame);
        EXPECT_EQ(w->model().workspace()->edited, nullptr);
        EXPECT_TRUE(all[0]->pin()->isVisible());
        EXPECT_FALSE(all[0]->property("isSelected").toBool());
        EXPECT_EQ(w->model().workspace()->undo.undoCount() + w->model().workspace()->undo.redoCount(), 0);
        EXPECT_FALSE(undo->isEnabled());
        // Ctrl+Z reaches the handler all the same: it finds nothing to spend.
        w->editing().MenuActionUndoClicked();
        EXPECT_EQ(exposure->value(), moved);
    }
}

TEST_F(SelectionFlowTest, BeforeAndAfterButtonsReachThePlayerFrameOnItsSideOnly) {
    struct Case {
        int player, before, after;
    };
    auto w = openScene(3);
    moveTo(*w, 15);
    w->flow().PushButtonSelectImageNextClicked();
    ASSERT_EQ(w->model().workspace()->centreIndex, 15);
    auto* before = find<QSpinBox>(*w, "spinBox_ImageStackingBefore");
    auto* after = find<QSpinBox>(*w, "spinBox_ImageStackingAfter");
    for (const Case c : {Case{10, 5, 0}, Case{22, 0, 7}, Case{15, 0, 0}, Case{0, 15, 0}}) {
        moveTo(*w, c.player);
        w->flow().PushButtonImageStacking_BeforeClicked();
        w->flow().PushButtonImageStacking_AfterClicked();
        EXPECT_EQ(before->value(), c.before) << c.player;
        EXPECT_EQ(after->value(), c.after) << c.player;
        EXPECT_EQ(w->model().workspace()->sequence()->firstIndex(), 15 - c.before) << c.player;
        EXPECT_EQ(w->model().workspace()->sequence()->lastIndex(), 15 + c.after) << c.player;
    }
}

TEST_F(SelectionFlowTest, LeavingSelectionWhilePlayingChoosesTheFrameOnScreen) {
    auto w = openScene(3);
    int shownAtClick = -1;
    // Pressed while the clip plays: the player stops where it is, without another frame.
    QTimer::singleShot(300, [&] {
        shownAtClick = w->model().workspace()->sequence()->currentIndex();
        w->flow().PushButtonSelectImageNextClicked();
    });
    w->player().playPauseVideo();
    EXPECT_TRUE(w->player().paused());
    ASSERT_GE(shownAtClick, 0);
    EXPECT_EQ(w->model().workspace()->state, DefiningParameters);
    EXPECT_EQ(w->model().workspace()->centreIndex, shownAtClick);
    EXPECT_EQ(w->model().workspace()->sequence()->currentIndex(), shownAtClick);
}

} // namespace
