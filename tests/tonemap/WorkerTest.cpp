// What a cancelled or failed render leaves behind, and a cancel from another thread than the render's.

#include "TestOperators.h"

#include "tonemap/ToneMapEngine.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

namespace lumora {
namespace {

class TonemapWorker : public ::testing::Test {
protected:
    void SetUp() override { ToneMapEngine::setPreviewSize(400, 300); }
};

TEST_F(TonemapWorker, CancelledOrFailedRenderKeepsThePreviewAndGivesNoFullSizePicture) {
    const cv::Mat light = test::randomImage(20, 30, 21);
    for (bool fails : {false, true})
        for (bool fullSize : {false, true}) {
            SCOPED_TRACE(std::string(fails ? "failed, " : "cancelled, ") +
                         (fullSize ? "full size" : "preview"));
            ToneMapEngine engine;
            engine.setOperatorIndex(3);
            engine.setImage(light);
            engine.computePreview(0, false);
            const cv::Mat previous = engine.previewImage().clone();
            if (fails)
                engine.installOperator(std::make_unique<test::FailsWhileRunning>());
            else
                engine.installOperator(std::make_unique<test::CancelledWhileRunning>());
            engine.setStrength(1.f);
            engine.setOperatorAlpha(3, 0.5f);

            cv::Mat result;
            std::string reason;
            if (fullSize) {
                Result<cv::Mat> rendered = engine.renderFullSize();
                reason = rendered.reason();
                result = rendered.take();
            } else {
                engine.computePreview(2, false);
                result = engine.previewImage();
            }
            // A preview keeps showing the previous picture; a full-size render that did not finish has no
            // picture at all, so nothing can write the small preview under the export's name.
            EXPECT_EQ(engine.isCanceled(), !fails);
            EXPECT_EQ(engine.lastOutcome(), fails ? RunOutcome::Failed : RunOutcome::Canceled);
            if (fullSize) {
                EXPECT_TRUE(result.empty());
                EXPECT_FALSE(reason.empty());
            } else {
                EXPECT_EQ(cv::norm(result, previous, cv::NORM_INF), 0.0);
            }
            EXPECT_EQ(cv::norm(engine.previewImage(), previous, cv::NORM_INF), 0.0);
            EXPECT_FALSE(engine.isBusy());
        }
}

TEST_F(TonemapWorker, CancelFromAnotherThreadStopsTheLocalLaplacian) {
    ToneMapEngine engine;
    // Seconds of work: the cancel lands long before the filter could finish, however busy the machine.
    const cv::Mat light = test::randomImage(800, 800, 21);
    engine.setImage(light);
    engine.setOperatorAlpha(0, 0.7f);
    cv::Mat result;
    std::thread render([&] { result = engine.renderFullSize().take(); });
    QElapsedTimer timer;
    timer.start();
    // Wait until the filter is past its start (the engine clears the flag there), then cancel.
    while (engine.progress() < 1 && timer.elapsed() < 60000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    engine.cancel();
    render.join();
    ASSERT_TRUE(engine.isCanceled());
    EXPECT_LT(engine.progress(), 100);
    // A full-size render cut short has no picture to hand on.
    EXPECT_TRUE(result.empty());
}

} // namespace
} // namespace lumora
