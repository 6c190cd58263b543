// The ghost-map toggle of the editing page: off by default, disabled for a photo, and on the moving-object
// burst it tints the disc's path while the still room keeps its pixels.

#include "../stacking/MotionScene.h"
#include "FlowTestSupport.h"
#include "ui/LumoraV2.h"
#include "ui/OpeningController.h"
#include "ui/StackingController.h"

#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QSpinBox>
#include <opencv2/imgproc.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

class GhostOverlayTest : public EditingTest {
protected:
    cv::Mat shownPicture(LumoraV2& w) {
        const QImage image = find<QLabel>(w, "label_VideoPreview")
                                 ->pixmap(Qt::ReturnByValue)
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB888);
        cv::Mat rgb(image.height(), image.width(), CV_8UC3, const_cast<uchar*>(image.bits()),
                    static_cast<size_t>(image.bytesPerLine()));
        return rgb.clone();
    }
    // Share of the mask's pixels where the two pictures differ by more than a rounding.
    static double changedShare(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
        cv::Mat d, grey;
        cv::absdiff(a, b, d);
        cv::cvtColor(d, grey, cv::COLOR_RGB2GRAY);
        return cv::countNonZero((grey > 8) & mask) / std::max(1.0, double(cv::countNonZero(mask)));
    }
};

TEST_F(GhostOverlayTest, APhotoHasNoMapToShow) {
    auto w = openPhoto();
    QCheckBox* toggle = find<QCheckBox>(*w, "checkBox_ShowGhostMap");
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(toggle->isEnabled());
}

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
    EXPECT_TRUE(toggle->isEnabled());
    EXPECT_FALSE(toggle->isChecked());
    const cv::Mat plain = shownPicture(*w);
    toggle->setChecked(true);
    settle();
    const cv::Mat marked = shownPicture(*w);
    ASSERT_EQ(plain.size(), marked.size());

    // The scene's masks at the displayed size; the path shrunk by a pixel against the scaling's edges.
    cv::Mat path, quiet;
    cv::resize(scene.pathMask(0.0), path, plain.size(), 0, 0, cv::INTER_NEAREST);
    cv::resize(scene.staticMask(kStaticClearance, kStaticBorder), quiet, plain.size(), 0, 0,
               cv::INTER_NEAREST);
    cv::erode(path, path, cv::Mat());
    EXPECT_GE(changedShare(plain, marked, path), 0.9);
    EXPECT_LE(changedShare(plain, marked, quiet), 0.01);

    toggle->setChecked(false);
    settle();
    EXPECT_EQ(changedShare(plain, shownPicture(*w), cv::Mat(plain.size(), CV_8UC1, cv::Scalar(255))), 0.0);
}

} // namespace
