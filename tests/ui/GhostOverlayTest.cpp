// The ghost-map toggle of the editing page: off by default, disabled for a photo, and on the moving-object
// burst it tints the disc's path while the still room keeps its pixels, on the turned and cropped picture
// too.

#include "../stacking/MotionScene.h"
#include "FlowTestSupport.h"
#include "ui/LumoraV2.h"
#include "ui/OpeningController.h"
#include "ui/StackingController.h"
#include "ui/ToolsController.h"

#include <QCheckBox>
#include <QSlider>
#include <QSpinBox>
#include <opencv2/imgproc.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

class GhostOverlayTest : public EditingTest {
protected:
    // Share of the mask's pixels where the two pictures differ by more than a rounding.
    static double changedShare(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
        cv::Mat d, grey;
        cv::absdiff(a, b, d);
        cv::cvtColor(d, grey, cv::COLOR_BGR2GRAY);
        return cv::countNonZero((grey > 8) & mask) / std::max(1.0, double(cv::countNonZero(mask)));
    }
};

TEST_F(GhostOverlayTest, APhotoHasNoMapToShow) {
    auto w = openPhoto();
    QCheckBox* toggle = find<QCheckBox>(*w, "checkBox_ShowGhostMap");
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(toggle->isEnabled());
}

// Per picture geometry, the overlay lands where the disc went: the scene's masks taken through the same turn
// (an exact quarter or half turn, made here by transposing and flipping) and crop as the picture, then scaled
// to the displayed size. Tolerance: 90 % of the path (shrunk by a displayed pixel against the scalings'
// rounding) tinted, at most 1 % of the still room.
TEST_F(GhostOverlayTest, TheOverlayMarksTheMovingDiscsPathNotTheStillRoom) {
    const MotionScene scene = loadMotionScene(testMediaDir(), "motion");
    ASSERT_FALSE(scene.frames.empty());
    QStringList files;
    for (const std::string& f : burstFilesInFolder(scene.moving))
        files << QString::fromStdString(f);
    auto w = makeWindow(3);
    ASSERT_TRUE(w->opening().openBurst(files));
    moveTo(*w, scene.centre);
    find<QPushButton>(*w, "pushButton_SelectImageNext")->click();
    find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->setValue(scene.centre);
    find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->setValue(files.size() - 1 - scene.centre);
    find<QPushButton>(*w, "pushButton_DefineParamsNext")->click();
    ASSERT_TRUE(
        waitFor([&] { return !w->stacking().running() && w->model().workspace()->state == Editing; }));
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_EQ(w->model().workspace()->stackedFrameCount, files.size());

    QCheckBox* toggle = find<QCheckBox>(*w, "checkBox_ShowGhostMap");
    QSlider* rotation = find<QSlider>(*w, "horizontalSlider_Rotation_2");
    EXPECT_FALSE(toggle->isChecked());
    struct Case {
        int degrees; // the slider's turn: positive turns the picture clockwise
        bool crop;   // cut to the disc's path with some still room around it
    };
    for (const Case& c :
         {Case{0, false}, Case{90, false}, Case{180, false}, Case{0, true}, Case{-90, true}}) {
        SCOPED_TRACE(testing::Message() << c.degrees << (c.crop ? " cropped" : ""));
        const auto turn = [&c](const cv::Mat& m) {
            cv::Mat out = m.clone();
            if (c.degrees == 90 || c.degrees == -90)
                cv::transpose(m, out);
            if (c.degrees == 90)
                cv::flip(out, out, 1);
            else if (c.degrees == -90)
                cv::flip(out, out, 0);
            else if (c.degrees == 180)
                cv::flip(m, out, -1);
            return out;
        };
        cv::Mat path = turn(scene.pathMask(0.0));
        cv::Mat quiet = turn(scene.staticMask(kStaticClearance, kStaticBorder));
        rotation->setValue(c.degrees);
        ASSERT_TRUE(waitRendered(*w)); // a turn drops the crop
        if (c.crop) {
            const cv::Rect box = cv::boundingRect(path);
            const cv::Rect crop = cv::Rect(box.x - 50, box.y - 50, box.width + 100, box.height + 100) &
                                  cv::Rect({}, path.size());
            w->tools().setCrop(QRect(crop.x, crop.y, crop.width, crop.height));
            path = path(crop);
            quiet = quiet(crop);
        }
        ASSERT_TRUE(waitRendered(*w));
        EXPECT_TRUE(toggle->isEnabled());
        toggle->setChecked(false);
        settle();
        const cv::Mat plain = shownPicture(*w);
        toggle->setChecked(true);
        settle();
        const cv::Mat marked = shownPicture(*w);
        ASSERT_EQ(plain.size(), marked.size());
        EXPECT_NEAR(double(plain.cols) / plain.rows, double(path.cols) / path.rows, 0.02);

        cv::resize(path, path, plain.size(), 0, 0, cv::INTER_NEAREST);
        cv::resize(quiet, quiet, plain.size(), 0, 0, cv::INTER_NEAREST);
        cv::erode(path, path, cv::Mat());
        ASSERT_GT(cv::countNonZero(quiet), 1000);
        EXPECT_GE(changedShare(plain, marked, path), 0.9);
        EXPECT_LE(changedShare(plain, marked, quiet), 0.01);
    }
    toggle->setChecked(false);
    settle();
    const cv::Mat plain = shownPicture(*w);
    toggle->setChecked(true);
    settle();
    toggle->setChecked(false);
    settle();
    EXPECT_EQ(changedShare(plain, shownPicture(*w), cv::Mat(plain.size(), CV_8UC1, cv::Scalar(255))), 0.0);
}

} // namespace
