// The tone-mapping worker thread: which signal it sends, and what a cancelled render leaves behind.

#include "TestOperators.h"

#include "tonemap/TMComputingWorkerThread.h"
#include "tonemap/ToneMapEngine.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

namespace lumora {
namespace {

struct Outcome {
    int wellFinished = 0;
    int canceled = 0;
};

// Runs the worker to its end and counts its signals (delivered on the worker thread).
Outcome runWorker(TMComputingWorkerThread& worker) {
    std::atomic<int> well{0}, cancel{0};
    QObject::connect(
        &worker, &TMComputingWorkerThread::processWellFinished, &worker, [&] { ++well; },
        Qt::DirectConnection);
    QObject::connect(
        &worker, &TMComputingWorkerThread::processCanceled, &worker, [&] { ++cancel; }, Qt::DirectConnection);
    worker.start();
    EXPECT_TRUE(worker.wait(120000));
    return {well.load(), cancel.load()};
}

class TonemapWorker : public ::testing::Test {
protected:
    void SetUp() override { ToneMapEngine::setPreviewSize(400, 300); }
};

TEST_F(TonemapWorker, AFinishedRenderReportsWellFinishedAndNothingToShowReportsCanceled) {
    ToneMapEngine engine;
    engine.setOperatorIndex(3);
    engine.setImage(test::randomImage(20, 30, 21));
    for (bool fullSize : {false, true}) {
        TMComputingWorkerThread worker(&engine, fullSize, false, 0);
        const Outcome o = runWorker(worker);
        EXPECT_EQ(o.wellFinished, 1);
        EXPECT_EQ(o.canceled, 0);
        EXPECT_FALSE(worker.wasCanceled() || worker.isComputing() || engine.isBusy());
        EXPECT_EQ(worker.result().data, engine.previewImage().data);
        EXPECT_EQ(worker.result().size(), cv::Size(30, 20));
    }
    ToneMapEngine empty; // no light image
    TMComputingWorkerThread worker(&empty, false, true, 0);
    const Outcome o = runWorker(worker);
    EXPECT_EQ(o.wellFinished, 0);
    EXPECT_EQ(o.canceled, 1);
    EXPECT_TRUE(worker.result().empty());
}

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

            TMComputingWorkerThread worker(&engine, fullSize, false, 2);
            const Outcome o = runWorker(worker);
            // A preview keeps showing the previous picture; a full-size render that did not finish has no
            // picture at all, so nothing can write the small preview under the export's name.
            EXPECT_EQ(worker.wasCanceled(), !fails);
            EXPECT_EQ(engine.lastOutcome(), fails ? RunOutcome::Failed : RunOutcome::Canceled);
            EXPECT_EQ(engine.lastError().empty(), !fails);
            EXPECT_EQ(o.wellFinished, fullSize ? 0 : 1);
            EXPECT_EQ(o.canceled, fullSize ? 1 : 0);
            if (fullSize) {
                EXPECT_TRUE(worker.result().empty());
            } else {
                EXPECT_EQ(cv::norm(worker.result(), previous, cv::NORM_INF), 0.0);
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
    TMComputingWorkerThread worker(&engine, true, false, 0);
    std::atomic<int> well{0}, canceled{0};
    QObject::connect(
        &worker, &TMComputingWorkerThread::processWellFinished, &worker, [&] { ++well; },
        Qt::DirectConnection);
    QObject::connect(
        &worker, &TMComputingWorkerThread::processCanceled, &worker, [&] { ++canceled; },
        Qt::DirectConnection);
    worker.start();
    QElapsedTimer timer;
    timer.start();
    // Wait until the filter is past its start (the engine clears the flag there), then cancel.
    while (engine.progress() < 1 && timer.elapsed() < 60000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    engine.cancel();
    ASSERT_TRUE(worker.wait(120000));
    ASSERT_TRUE(worker.wasCanceled());
    EXPECT_LT(engine.progress(), 100);
    // A full-size render cut short has no picture to hand on.
    EXPECT_EQ(well.load(), 0);
    EXPECT_EQ(canceled.load(), 1);
    EXPECT_TRUE(worker.result().empty());
}

} // namespace
} // namespace lumora
