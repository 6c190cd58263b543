// The player and timeline with real clips: seeking (the frame on screen is read back from the counter code
// stamped into every frame of the counter clips), playing within the trim range, dragging on the timeline and
// the degenerate one-frame video.

#include "CounterCode.h"
#include "WindowTestSupport.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/StepsController.h"
#include "ui/TimelineController.h"
#include "ui/Workspace.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <opencv2/videoio.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

class PlayerTest : public WindowTest {
protected:
    // The 320x240 clip of 300 frames, each stamped with its index.
    std::unique_ptr<LumoraV2> openCounter(int mode = 1) {
        auto w = makeWindow(mode);
        EXPECT_TRUE(w->openMediaByPath(QString::fromStdString(testMediaPath("counter_gop12.mp4"))));
        return w;
    }
    ImagesSequence& sequence(LumoraV2& w) { return *w.model().workspace()->sequence(); }
    // The frame index read from the picture on screen.
    int shownIndex(LumoraV2& w) { return testmedia::decodeCounterIndex(shownPicture(w)); }
    // Waits for a pending seek to show its frame.
    void waitForSeek(LumoraV2& w) {
        waitFor([&] { return !w.player().seekPending(); }, 2000);
        settle();
    }
    void seek(LumoraV2& w, int index) {
        w.player().showFrameIndex(index);
        waitForSeek(w);
    }
    QWidget* timelineItem(LumoraV2& w, const char* name) { return find(w, name); }
    int centreX(QWidget* item) { return item->x() + item->width() / 2; }
};

TEST_F(PlayerTest, SeekShowsTheRequestedFrameOnceTheMouseStops) {
    auto w = openCounter();
    w->player().showFrameIndex(37);
    // The cursor and labels move at once; the frame is decoded only when no further seek comes.
    EXPECT_EQ(find<QLabel>(*w, "label_CurrentFrameNumber")->text(), QStringLiteral("37"));
    EXPECT_EQ(sequence(*w).currentIndex(), 0);
    EXPECT_EQ(shownIndex(*w), 0);
    waitForSeek(*w);
    EXPECT_EQ(sequence(*w).currentIndex(), 37);
    EXPECT_EQ(shownIndex(*w), 37);
    EXPECT_FALSE(w->player().seekPending());

    // A fast scrub shows only where it ends.
    for (int i = 100; i <= 180; i += 4)
        w->player().showFrameIndex(i);
    EXPECT_EQ(sequence(*w).currentIndex(), 37);
    waitForSeek(*w);
    EXPECT_EQ(sequence(*w).currentIndex(), 180);
    EXPECT_EQ(shownIndex(*w), 180);
}

TEST_F(PlayerTest, PlayAtTheEndOfTheTrimRangeRewindsAndPlaysToItsEnd) {
    auto w = openCounter();
    sequence(*w).setFirstIndex(100);
    sequence(*w).setLastIndex(106);
    seek(*w, 106);
    std::vector<int> played;
    QString look;
    QTimer sampler;
    sampler.setInterval(0);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        played.push_back(sequence(*w).currentIndex());
        look = find(*w, "pushButton_PlayPause")->property("SecondState").toString();
    });
    sampler.start();
    w->player().playPauseVideo();
    sampler.stop();
    ASSERT_FALSE(played.empty());
    EXPECT_LE(played.front(), 102);
    EXPECT_GE(played.front(), 100);
    EXPECT_TRUE(std::is_sorted(played.begin(), played.end()));
    EXPECT_EQ(look, QStringLiteral("true"));
    EXPECT_EQ(sequence(*w).currentIndex(), 106);
    EXPECT_EQ(shownIndex(*w), 106);
    EXPECT_TRUE(w->player().paused());
    EXPECT_FALSE(find(*w, "pushButton_PlayPause")->property("SecondState").toBool());
}

TEST_F(PlayerTest, ClosingWhilePlayingEndsThePlayer) {
    auto w = openCounter();
    QTimer::singleShot(50, [&] { EXPECT_TRUE(w->opening().closeWorkspace()); });
    w->player().playPauseVideo();
    EXPECT_EQ(w->model().workspace(), nullptr);
    EXPECT_TRUE(w->player().paused());
    EXPECT_TRUE(messages_->calls.empty());
}

TEST_F(PlayerTest, TimelineDragsStayInsideTheTrimRange) {
    auto w = openCounter(3);
    seek(*w, 150);
    w->flow().PushButtonSelectImageNextClicked();
    ASSERT_EQ(w->model().workspace()->state, DefiningParameters);
    ASSERT_EQ(sequence(*w).firstIndex(), 142);
    ASSERT_EQ(sequence(*w).lastIndex(), 158);
    QWidget* cursor = timelineItem(*w, "label_CursorPlayingBar");
    QWidget* foreground = timelineItem(*w, "label_ForegroundMidPlayingBar");
    QWidget* bar = timelineItem(*w, "label_BackgroundMidPlayingBar");
    QWidget* panel = timelineItem(*w, "Panel_LectureTop2");

    // The cursor dragged past either end of the bar stops at the trim range's ends.
    press(cursor);
    EXPECT_EQ(w->timeline().dragMode(), 1);
    move(cursor, cursor->mapFrom(panel, QPoint(panel->width() + 300, 5)));
    EXPECT_NEAR(centreX(cursor), foreground->x() + foreground->width(), 1);
    waitForSeek(*w);
    EXPECT_EQ(shownIndex(*w), 158);
    move(cursor, cursor->mapFrom(panel, QPoint(-300, 5)));
    EXPECT_NEAR(centreX(cursor), foreground->x(), 1);
    waitForSeek(*w);
    EXPECT_EQ(shownIndex(*w), 142);
    release(cursor, QPoint(0, 0));
    EXPECT_EQ(w->timeline().dragMode(), 0);

    // The end marker dragged near the bar's end grows the range towards the last frame, and no further.
    QWidget* end = timelineItem(*w, "label_TrimEndPlayingBar");
    press(end);
    EXPECT_EQ(w->timeline().dragMode(), 3);
    move(end, end->mapFrom(panel, QPoint(bar->x() + bar->width() - 2, 5)));
    release(end, QPoint(0, 0));
    const int after = find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->value();
    EXPECT_GT(after, 100);
    EXPECT_EQ(sequence(*w).lastIndex(), std::min(150 + after, 299));
    EXPECT_EQ(end->x(), bar->x() + bar->width() * sequence(*w).lastIndex() / 299);

    // A one-frame range keeps the cursor still.
    find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->setValue(0);
    find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->setValue(0);
    ASSERT_EQ(sequence(*w).firstIndex(), sequence(*w).lastIndex());
    waitForSeek(*w);
    const QPoint before = cursor->pos();
    press(cursor);
    move(cursor, QPoint(200, 3));
    move(cursor, QPoint(-200, 3));
    EXPECT_EQ(cursor->pos(), before);
    EXPECT_FALSE(w->player().seekPending());
    release(cursor, QPoint(0, 0));
}

// A one-frame medium has every item at the bar's start (no division by frame count - 1).
TEST_F(PlayerTest, OneFrameVideoPlaysAndPlacesItsItemsAtTheStart) {
    const QString path = tempPath(QStringLiteral("still.avi"));
    {
        cv::VideoWriter writer(path.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25,
                               cv::Size(320, 240));
        ASSERT_TRUE(writer.isOpened());
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(128, 128, 128));
        testmedia::drawCounterCode(frame, 0);
        writer.write(frame);
    }
    auto w = makeWindow(2);
    ASSERT_TRUE(w->openMediaByPath(path));
    ASSERT_EQ(sequence(*w).frameCount(), 1);
    QWidget* bar = timelineItem(*w, "label_BackgroundMidPlayingBar");
    QWidget* cursor = timelineItem(*w, "label_CursorPlayingBar");
    EXPECT_EQ(centreX(cursor), bar->x());

    w->player().playPauseVideo();
    EXPECT_TRUE(w->player().paused());
    press(cursor);
    move(cursor, QPoint(100, 0));
    release(cursor, QPoint(100, 0));
    QWidget* foreground = timelineItem(*w, "label_ForegroundMidPlayingBar");
    press(foreground, QPoint(0, 0));
    release(foreground, QPoint(0, 0));
    waitForSeek(*w);
    EXPECT_EQ(sequence(*w).currentIndex(), 0);
    EXPECT_EQ(shownIndex(*w), 0);

    find<QPushButton>(*w, "pushButton_GrabFrame")->click();
    const auto grabbed = w->model().workspace()->liveSelections();
    ASSERT_EQ(grabbed.size(), 1u);
    EXPECT_EQ(centreX(grabbed.front()->pin()), bar->x());
}

} // namespace
