// The frame-quality strip in the window: computed in the background when a sequence opens, the sharp frame of
// a burst marked and reached by "sharpest moment near here", and closing or replacing the medium
// mid-computation leaves no run behind; turned off in the settings, nothing is computed.

#include "WindowTestSupport.h"
#include "ui/FrameQualityController.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/QualityStripWidget.h"
#include "ui/Workspace.h"

#include <QPushButton>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

class FrameQualityStripTest : public WindowTest {
protected:
    // Twelve blurred views of one textured scene, frame `sharp` left sharp.
    QStringList writeBurst(int sharp) {
        cv::Mat scene(120, 160, CV_8UC3);
        cv::randu(scene, 0, 256);
        QStringList files;
        for (int k = 0; k < 12; ++k) {
            cv::Mat frame = scene.clone();
            if (k != sharp)
                cv::GaussianBlur(frame, frame, cv::Size(), 1.5 + 0.1 * k);
            files << tempPath(QStringLiteral("b%1.png").arg(k, 2, 10, QLatin1Char('0')));
            EXPECT_TRUE(cv::imwrite(files.back().toStdString(), frame));
        }
        return files;
    }
    static bool computed(LumoraV2& w) {
        return !w.frameQuality().computing() && !w.frameQuality().strip()->frames().empty();
    }
};

TEST_F(FrameQualityStripTest, MarksTheSharpFrameAndGoesThere) {
    auto w = makeWindow(1);
    ASSERT_TRUE(w->opening().openBurst(writeBurst(9)));
    ASSERT_TRUE(waitFor([&] { return computed(*w); }, 30000));
    const QualityStripWidget* strip = w->frameQuality().strip();
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(strip->frames().size(), 12u);
    EXPECT_EQ(strip->marks(), std::vector<int>{9});

    w->player().showFrameIndex(2);
    waitFor([&] { return !w->player().seekPending(); }, 2000);
    auto* button = find<QPushButton>(*w, "pushButton_SharpestNearHere");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    button->click();
    ASSERT_TRUE(waitFor([&] { return w->model().workspace()->sequence()->currentIndex() == 9; }, 5000));
}

TEST_F(FrameQualityStripTest, ClosingOrReplacingWhileComputingLeavesNoRun) {
    auto w = makeWindow(1);
    ASSERT_TRUE(w->openMediaByPath(QString::fromStdString(testMediaPath("counter_gop250.mp4"))));
    EXPECT_TRUE(w->frameQuality().computing());
    // Replaced mid-run: the new medium's figures come, not the old one's.
    ASSERT_TRUE(w->opening().openBurst(writeBurst(3)));
    ASSERT_TRUE(waitFor([&] { return computed(*w); }, 60000));
    EXPECT_EQ(w->frameQuality().strip()->frames().size(), 12u);

    ASSERT_TRUE(w->openMediaByPath(QString::fromStdString(testMediaPath("counter_gop250.mp4"))));
    ASSERT_TRUE(w->opening().closeWorkspace());
    // The run ends at its next batch, which on a busy machine may still be opening its own decoder: this
    // waits for the end, how soon is the window bench's to measure.
    EXPECT_TRUE(waitFor([&] { return !w->frameQuality().computing(); }, 30000));
    EXPECT_TRUE(w->frameQuality().strip()->frames().empty());
    EXPECT_FALSE(w->frameQuality().strip()->isVisible());
}

TEST_F(FrameQualityStripTest, TurnedOffInTheSettingsNothingIsComputed) {
    settings::write(settings::FrameQualityStrip, false);
    auto w = makeWindow(1);
    ASSERT_TRUE(w->opening().openBurst(writeBurst(3)));
    EXPECT_FALSE(w->frameQuality().computing());
    EXPECT_FALSE(w->frameQuality().strip()->isVisible());
    EXPECT_FALSE(find<QPushButton>(*w, "pushButton_SharpestNearHere")->isVisible());
}

} // namespace
