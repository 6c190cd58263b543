// Pro stacking and the sharpest-frame search through the real window on the small scene clip: the three
// answers to the stop question, closing the medium while threads work on it, the parameters' undo, and the
// search's result lists. A run to its end is in EndToEndTest.

#include "FlowTestSupport.h"
#include "presets/PresetFiles.h"
#include "sharpness/Sharpness.h"
#include "stacking/StackingEngine.h"
#include "ui/EditingController.h"
#include "ui/OpeningController.h"
#include "ui/PresetStrips.h"
#include "ui/ProSharpestImageSelection.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestSearchController.h"
#include "ui/StackingController.h"
#include "ui/StepsController.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

namespace {

using namespace lumora;
using namespace lumora::test;

class StackingFlowTest : public FlowTest {
protected:
    // Pro on the scene clip, frame `centre` chosen, `before` and `after` neighbours, quality `quality`.
    std::unique_ptr<LumoraV2> defineRun(int centre, int before, int after, int quality) {
        auto w = openScene(3);
        moveTo(*w, centre);
        w->flow().PushButtonSelectImageNextClicked();
        find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->setValue(before);
        find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->setValue(after);
        find<QComboBox>(*w, "comboBox_Quality")->setCurrentIndex(quality);
        return w;
    }
    // A run over the whole clip at the slowest quality: long enough to act on while it works.
    std::unique_ptr<LumoraV2> startLongRun() {
        auto w = defineRun(15, 15, 14, 2);
        find<QPushButton>(*w, "pushButton_DefineParamsNext")->click();
        EXPECT_EQ(w->model().workspace()->state, Stacking);
        // Two frames merged: the run is well under way.
        EXPECT_TRUE(waitFor([&] {
            const StackingEngine* e = w->model().workspace()->stackingEngine();
            return e && e->currentFrame() >= 2;
        }));
        return w;
    }
    void clickCancel(LumoraV2& w) { find<QPushButton>(w, "pushButton_ComputingCancel")->click(); }
    static bool idle(LumoraV2& w) {
        return !w.stacking().running() && w.model().workspace()->state != Stacking;
    }
};

TEST_F(StackingFlowTest, KeepingTheImageEditsWhatWasMergedSoFar) {
    auto w = startLongRun();
    messages_->choices = {0}; // "KeepHDRImage"
    clickCancel(*w);
    ASSERT_FALSE(messages_->choiceButtons.empty());
    EXPECT_EQ(messages_->choiceButtons.back(),
              (QStringList{translatedText("KeepHDRImage"), translatedText("ReturnToVideo"),
                           translatedText("Cancel")}));
    EXPECT_EQ(countTitled("StopComputingTitle"), 1);
    ASSERT_TRUE(waitFor([&] { return idle(*w); }));
    // The light image was offered for saving (declined here), then editing began on it.
    EXPECT_EQ(said("RecommendedSavingHDRimage"), 1);
    EXPECT_EQ(w->model().workspace()->state, Editing);
    const int merged = w->model().workspace()->stackedFrameCount;
    EXPECT_GE(merged, 2);
    EXPECT_LT(merged, 30);
    ASSERT_EQ(selections(*w).size(), 1u);
    SharpestImageSelection* result = selections(*w).front();
    EXPECT_EQ(result->frameIndex(), -1);
    EXPECT_EQ(result->pin(), nullptr);
    EXPECT_EQ(result->image().type(), CV_32FC3);
    EXPECT_TRUE(result->exportName().endsWith(QStringLiteral("%1)").arg(merged)))
        << qPrintable(result->exportName());
    // A name too long for the thumbnail is shown shortened; the whole of it is the label's tooltip.
    const auto* name = result->findChild<QLabel*>(QStringLiteral("label_SharpestImageEditionText"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->toolTip(), result->exportName());
    EXPECT_EQ(w->model().workspace()->edited, result);
    EXPECT_EQ(w->model().workspace()->stackingEngine(), nullptr);
    // Pro offers the shipped file's presets, not only the three built-in ones.
    EXPECT_EQ(w->editing().strips().builtIn().size(), defaultPresets().size());
}

TEST_F(StackingFlowTest, CancelOnTheQuestionLetsTheRunGoOn) {
    auto w = startLongRun();
    messages_->choices = {2};
    clickCancel(*w);
    EXPECT_TRUE(w->stacking().running());
    EXPECT_EQ(w->model().workspace()->state, Stacking);
    EXPECT_TRUE(find(*w, "Panel_ProgressBar")->isEnabled());
    // A closed box is the same as Cancel.
    clickCancel(*w);
    EXPECT_TRUE(w->stacking().running());
    w->flow().PushButtonComputingCancelClicked(false);
    ASSERT_TRUE(waitFor([&] { return idle(*w); }));
    EXPECT_EQ(w->model().workspace()->state, DefiningParameters);
}

TEST_F(StackingFlowTest, ClosingWhileThreadsWorkStopsThemFirst) {
    {
        auto w = startLongRun();
        w->opening().MenuActionCloseClicked();
        EXPECT_EQ(w->model().workspace(), nullptr);
        EXPECT_FALSE(w->stacking().running());
        EXPECT_TRUE(messages_->calls.empty());
    }
    {
        auto w = startLongRun();
        EXPECT_TRUE(w->close());
        EXPECT_EQ(w->model().workspace(), nullptr);
    }
    {
        // Grabbed frames search in the background; closing at once must not wait on them or lose them.
        auto w = openScene(2);
        grab(*w, {0, 4, 8, 12, 16, 20});
        w->opening().MenuActionCloseClicked();
        EXPECT_EQ(w->model().workspace(), nullptr);
    }
    {
        // And destroying the window while a search runs.
        auto w = openScene(3);
        find<QSpinBox>(*w, "spinBox_FindSharpestImage")->setValue(30);
        w->search().PushButtonFindSharpestImageClicked();
        EXPECT_TRUE(w->search().running());
    }
}

TEST_F(StackingFlowTest, ParameterChangesAreUndoneAndRedoneThroughTheMenu) {
    auto w = defineRun(15, 8, 8, 1);
    auto* undo = find<QAction>(*w, "actionUndo");
    auto* redo = find<QAction>(*w, "actionRedo");
    auto* quality = find<QComboBox>(*w, "comboBox_Quality");
    auto* align = find<QCheckBox>(*w, "checkBox_Align");
    auto* before = find<QSpinBox>(*w, "spinBox_ImageStackingBefore");
    const StackingChoices& choices = w->model().workspace()->stacking;
    ASSERT_FALSE(undo->isEnabled());
    quality->setCurrentIndex(2);
    align->setChecked(false);
    before->setValue(3);
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(w->model().workspace()->sequence()->firstIndex(), 12);

    undo->trigger();
    EXPECT_EQ(before->value(), 8);
    EXPECT_EQ(choices.framesBefore, 8);
    EXPECT_EQ(w->model().workspace()->sequence()->firstIndex(), 7); // the trim marker follows
    undo->trigger();
    EXPECT_TRUE(align->isChecked());
    EXPECT_TRUE(choices.align);
    undo->trigger();
    EXPECT_EQ(quality->currentIndex(), 1);
    EXPECT_EQ(choices.quality, 1);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());
    redo->trigger();
    EXPECT_EQ(choices.quality, 2);

    // A run starts a new history.
    before->setValue(1);
    find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->setValue(1);
    find<QPushButton>(*w, "pushButton_DefineParamsNext")->click();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    w->flow().PushButtonComputingCancelClicked(false);
    EXPECT_TRUE(waitFor([&] { return idle(*w); }));
}

class SearchTest : public StackingFlowTest {
protected:
    // Sharpness of every frame of the clip, measured here.
    std::vector<float> allSharpness(LumoraV2& w) {
        ImagesSequence* s = w.model().workspace()->sequence();
        std::vector<float> out;
        for (int i = 0; i < s->frameCount(); ++i)
            out.push_back(sharpness(s->getCvImageAt(i, false)));
        return out;
    }
    void search(LumoraV2& w, int at, int radius) {
        moveTo(w, at);
        find<QSpinBox>(w, "spinBox_FindSharpestImage")->setValue(radius);
        find<QPushButton>(w, "pushButton_FindSharpestImage")->click();
        EXPECT_TRUE(waitFor([&] { return !w.search().running(); }));
        EXPECT_EQ(w.model().workspace()->state, SelectingFrame);
    }
    std::vector<ProSharpestImageSelection*> entries(LumoraV2& w, const char* area) {
        const auto found = find(w, area)->findChildren<ProSharpestImageSelection*>();
        return {found.begin(), found.end()};
    }
};

TEST_F(SearchTest, TheSharpestFrameFindsNothingSharperAndSaysSo) {
    auto w = openScene(3);
    const std::vector<float> s = allSharpness(*w);
    const int best = int(std::max_element(s.begin(), s.end()) - s.begin());
    search(*w, best, 2);
    EXPECT_FALSE(find(*w, "frame_SelectedImageTop")->isHidden());
    const auto top = entries(*w, "frame_SelectedImage");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top.front()->frameIndex(), best);
    EXPECT_EQ(top.front()->findChild<QLabel*>(QStringLiteral("label_ProSharpestImageText"))->text(),
              QStringLiteral("100%"));
    auto* none = find<QLabel>(*w, "label_NoProSharpenerImages");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->text(), translatedText("NoProSharpenerImages"));
    EXPECT_TRUE(none->wordWrap());
}

TEST_F(SearchTest, ABlurredFrameListsTheSharperOnesBestFirst) {
    auto w = openScene(3);
    const std::vector<float> s = allSharpness(*w);
    const int radius = 4;
    // The least sharp frame away from the ends has sharper neighbours.
    int worst = radius;
    for (int i = radius; i < int(s.size()) - radius; ++i)
        if (s[std::size_t(i)] < s[std::size_t(worst)])
            worst = i;
    int sharper = 0;
    for (int i = worst - radius; i <= worst + radius; ++i) // both ends of the window are examined
        sharper += s[std::size_t(i)] > s[std::size_t(worst)];
    ASSERT_GT(sharper, 0);
    search(*w, worst, radius);
    const auto top = entries(*w, "frame_SelectedImage");
    const auto rest = entries(*w, "scrollAreaWidgetContents_ProSharpestImageSelection");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(int(rest.size()), sharper); // the others, the searched frame last
    EXPECT_EQ(find<QLabel>(*w, "label_NoProSharpenerImages"), nullptr);
    float previous = s[std::size_t(top.front()->frameIndex())];
    for (ProSharpestImageSelection* e : rest) {
        EXPECT_LE(s[std::size_t(e->frameIndex())], previous);
        previous = s[std::size_t(e->frameIndex())];
    }
    EXPECT_EQ(rest.back()->frameIndex(), worst);
}

TEST_F(SearchTest, StoppingTheSearchKeepsThePreviousResults) {
    auto w = openScene(3);
    search(*w, 10, 2);
    const auto before = entries(*w, "frame_SelectedImage");
    ASSERT_EQ(before.size(), 1u);
    moveTo(*w, 0);
    find<QSpinBox>(*w, "spinBox_FindSharpestImage")->setValue(29);
    find<QPushButton>(*w, "pushButton_FindSharpestImage")->click();
    clickCancel(*w);
    ASSERT_TRUE(waitFor([&] { return !w->search().running(); }));
    EXPECT_EQ(w->model().workspace()->state, SelectingFrame);
    EXPECT_EQ(entries(*w, "frame_SelectedImage"), before);
}

} // namespace
