// The crop and horizon tools: the slope a line stands for, where a crop frame lands in the picture, and the
// overlays driven with the mouse in the real window.

#include "FlowTestSupport.h"
#include "ui/StepsController.h"
#include "ui/ToolOverlays.h"
#include "ui/ToolsController.h"

#include <QPushButton>
#include <QSlider>

namespace {

using namespace lumora;
using namespace lumora::test;

TEST(ToolGeometry, ALineLevelsByItsSlopeWhicheverWayItWasDrawn) {
    struct Case {
        QPoint a, b;
        int degrees;
    };
    for (const Case& c :
         {Case{{0, 50}, {100, 50}, 0}, Case{{0, 0}, {100, 100}, -45}, Case{{0, 100}, {100, 0}, 45},
          Case{{100, 50}, {0, 50}, 0}, Case{{100, 100}, {0, 0}, -45}, Case{{0, 0}, {1000, 577}, -29},
          Case{{10, 0}, {10, 80}, -90}})
        EXPECT_EQ(levellingDegrees(c.a, c.b), c.degrees) << c.b.x() << "," << c.b.y();
}

class EditingToolsTest : public EditingTest {
protected:
    void hover(QWidget* w, QPoint at) { mouse(QEvent::MouseMove, w, at, Qt::NoButton, Qt::NoButton); }
    // Grabs the overlay `w` at `from` and drags it in steps of one pixel towards `to`, both in its parent's
    // coordinates (the mouse's events come in the overlay's, which move with it).
    void drag(QWidget* w, QPoint from, QPoint to) {
        hover(w, from - w->pos());
        press(w, from - w->pos());
        QPoint p = from;
        while (p != to) {
            p += QPoint((to.x() > p.x()) - (to.x() < p.x()), (to.y() > p.y()) - (to.y() < p.y()));
            move(w, p - w->pos());
        }
        release(w, to - w->pos());
    }
    int manhattan(QPoint a, QPoint b) { return std::abs(a.x() - b.x()) + std::abs(a.y() - b.y()); }
};

TEST_F(EditingToolsTest, HorizonLineLevelsThePictureFromHowItIsShown) {
    auto w = openPhoto();
    QSlider* rotation = find<QSlider>(*w, "horizontalSlider_Rotation");
    ResizableLine* line = w->tools().horizonLine();
    find<QPushButton>(*w, "pushButton_Horizon")->click();
    ASSERT_EQ(w->model().workspace()->state, ToolActive);
    ASSERT_TRUE(line->isVisible());
    const QSize label = w->form().video->label_VideoPreview->size();
    EXPECT_EQ(line->pointA(), QPoint(label.width() / 4, label.height() / 2));

    // An end dragged onto the other stops short of it.
    const QPoint b = line->pointB();
    drag(line, line->pointA(), b);
    EXPECT_EQ(manhattan(line->pointA(), b), ResizableLine::kMinimumLength);

    // A level line changes nothing; one falling 45 degrees to the right turns the picture back by 45.
    find<QPushButton>(*w, "pushButton_CancelTool")->click();
    find<QPushButton>(*w, "pushButton_Horizon")->click();
    find<QPushButton>(*w, "pushButton_ApplyTool")->click();
    EXPECT_EQ(w->model().workspace()->state, Editing);
    EXPECT_EQ(rotation->value(), 0);
    find<QPushButton>(*w, "pushButton_Horizon")->click();
    const QPoint a = line->pointA();
    drag(line, line->pointB(), a + QPoint(80, 80));
    find<QPushButton>(*w, "pushButton_ApplyTool")->click();
    EXPECT_NEAR(rotation->value(), -45, 1);
    ASSERT_TRUE(waitRendered(*w));

    // On the turned picture a line falling 10 degrees turns it 10 degrees further.
    const int turned = rotation->value();
    find<QPushButton>(*w, "pushButton_Horizon")->click();
    drag(line, line->pointB(), line->pointA() + QPoint(120, 22));
    find<QPushButton>(*w, "pushButton_ApplyTool")->click();
    EXPECT_NEAR(rotation->value(), turned - 10, 1);
    ASSERT_TRUE(waitRendered(*w));

    // The window resized with the tool open: the ends keep their place relative to the picture.
    find<QPushButton>(*w, "pushButton_Horizon")->click();
    drag(line, line->pointB(), line->pointB() + QPoint(-30, 40));
    QWidget* picture = w->form().video->label_VideoPreview;
    const double bx = double(line->pointB().x()) / picture->width();
    const double by = double(line->pointB().y()) / picture->height();
    w->resize(1000, 700);
    settle();
    EXPECT_NEAR(double(line->pointB().x()) / picture->width(), bx, 0.01);
    EXPECT_NEAR(double(line->pointB().y()) / picture->height(), by, 0.01);
}

TEST_F(EditingToolsTest, CropFrameStaysInsideAndSelectsThePicture) {
    auto w = openPhoto();
    ResizableFrame* frame = w->tools().cropFrame();
    find<QPushButton>(*w, "pushButton_Crop")->click();
    ASSERT_TRUE(frame->isVisible());
    const QSize parent = w->form().video->label_VideoPreview->size();
    const auto inside = [&] { return QRect(QPoint(), parent).contains(frame->geometry()); };
    // Moved by its middle far past the right edge: it stops at the edge.
    const QPoint middle = frame->geometry().center();
    drag(frame, middle, middle + QPoint(parent.width(), 0));
    EXPECT_TRUE(inside());
    EXPECT_EQ(frame->geometry().right(), parent.width() - 1);
    // Its left edge dragged past its right edge: 10 pixels wide, the right edge where it was.
    const int right = frame->geometry().right();
    const QPoint leftEdge = frame->pos() + QPoint(2, frame->height() / 2);
    drag(frame, leftEdge, leftEdge + QPoint(parent.width(), 0));
    EXPECT_EQ(frame->width(), ResizableFrame::kMinimumSide);
    EXPECT_EQ(frame->geometry().right(), right);
    // The corners dragged beyond the picture's: the whole picture, and a crop of all of it.
    drag(frame, frame->pos() + QPoint(1, 1), QPoint(-2000, -2000));
    drag(frame, frame->geometry().bottomRight() - QPoint(1, 1), QPoint(4000, 4000));
    EXPECT_EQ(frame->geometry(), QRect(QPoint(), parent));
    // Its top edge dragged down and sideways: only the top follows; dragged back up, the whole again.
    drag(frame, QPoint(parent.width() / 2, 1), QPoint(parent.width() / 2 - 30, 16));
    EXPECT_EQ(frame->geometry(), QRect(0, 15, parent.width(), parent.height() - 15));
    drag(frame, QPoint(parent.width() / 2, 16), QPoint(parent.width() / 2, -100));
    EXPECT_EQ(frame->geometry(), QRect(QPoint(), parent));
    find<QPushButton>(*w, "pushButton_ApplyTool")->click();
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_EQ(edited(*w)->engine().params().cropRect, cv::Rect(0, 0, 320, 240));

    // The left half of the picture (half a second later: its own undo step), then undo: the whole again.
    waitMs(550);
    find<QPushButton>(*w, "pushButton_Crop")->click();
    frame->setGeometry(0, 0, parent.width() / 2, parent.height());
    find<QPushButton>(*w, "pushButton_ApplyTool")->click();
    ASSERT_TRUE(waitRendered(*w));
    const cv::Rect half = edited(*w)->engine().params().cropRect;
    EXPECT_EQ(half.height, 240);
    EXPECT_NEAR(half.width, 160, 1); // a label of odd width has no exact half
    const cv::Mat preview = edited(*w)->preview();
    EXPECT_NEAR(double(preview.cols) / preview.rows, 160.0 / 240.0, 0.02);
    w->editing().MenuActionUndoClicked();
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_EQ(edited(*w)->engine().params().cropRect, cv::Rect(0, 0, 320, 240));
}

} // namespace
