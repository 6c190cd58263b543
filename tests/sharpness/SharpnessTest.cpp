// The sharpness measure against its closed form, and the search for sharper neighbours: which frames are
// examined, strictly-sharper filtering, ties, radius 0, cancel, and the worker's signal.

#include "sharpness/Sharpness.h"
#include "InMemorySequence.h"
#include "sharpness/SharpestImageSearcherWorkerThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using lumora::SharpestCandidates;
using lumora::test::InMemorySequence;

// A black frame with one impulse of height v inside: the Laplacian is -4v there, v at its four neighbours, 0
// elsewhere, so the mean is 0 and the population variance 20 v^2 / pixels.
cv::Mat impulse(double v, int type = CV_8UC1, int channel = 0) {
    cv::Mat m = cv::Mat::zeros(20, 25, type);
    m.ptr<uchar>(10)[12 * m.channels() + channel] = static_cast<uchar>(v);
    return m;
}

TEST(Sharpness, UniformFrameIsZero) {
    EXPECT_EQ(lumora::sharpness(cv::Mat(30, 30, CV_8UC3, cv::Scalar(80, 120, 200))), 0.f);
    EXPECT_EQ(lumora::sharpness(cv::Mat()), 0.f);
}

TEST(Sharpness, ImpulseGivesTwentyVSquaredOverThePixelCount) {
    EXPECT_NEAR(lumora::sharpness(impulse(10)), 20.0 * 100 / 500, 1e-4);
    EXPECT_NEAR(lumora::sharpness(impulse(200)), 20.0 * 40000 / 500, 1e-2);
}

TEST(Sharpness, OnlyTheBlueChannelOfAColourFrameCounts) {
    EXPECT_EQ(lumora::sharpness(impulse(50, CV_8UC3, 1)), 0.f);
    EXPECT_EQ(lumora::sharpness(impulse(50, CV_8UC3, 2)), 0.f);
    EXPECT_NEAR(lumora::sharpness(impulse(50, CV_8UC3, 0)), 20.0 * 2500 / 500, 1e-3);
}

TEST(Sharpness, BordersAreReflected) {
    // An impulse on the border: reflect-101 mirrors the neighbour inside, so the sum stays 0 only in the
    // interior; the value is still that of a well-defined filter, never NaN.
    cv::Mat m = cv::Mat::zeros(10, 10, CV_8UC1);
    m.at<uchar>(0, 5) = 10;
    const float s = lumora::sharpness(m);
    EXPECT_TRUE(std::isfinite(s));
    EXPECT_GT(s, 0.f);
}

struct Search {
    SharpestCandidates found;
    lumora::RunControl run;
    bool finished = false;
};

void runSearch(InMemorySequence& seq, int centre, int radius, Search& s) {
    lumora::SharpestSearchRequest r{seq.getCvImageAt(centre, true), centre, seq.size(), radius};
    s.finished = lumora::searchSharpest(
        r, [&](int i) { return seq.getCvImageAt(i, false); }, s.found, s.run);
}

std::vector<int> indices(const SharpestCandidates& c) {
    std::vector<int> out;
    for (const auto& p : c)
        out.push_back(p.second);
    return out;
}

TEST(SharpestSearch, KeepsStrictlySharperFramesSharpestFirstWithTheCentreLast) {
    // sharpness grows with the impulse height
    InMemorySequence seq(
        {impulse(30), impulse(50), impulse(20), impulse(40), impulse(50), impulse(10), impulse(60)});
    Search s;
    runSearch(seq, 3, 3, s);
    EXPECT_TRUE(s.finished);
    EXPECT_EQ(s.run.progress(), 100);
    // examined 0..5 (6 = centre + radius is not); 1 and 4 tie: the lower index stays; 0, 2, 5 are not sharper
    EXPECT_EQ(indices(s.found), std::vector<int>({1, 3}));
    EXPECT_EQ(seq.reads(), std::vector<int>({0, 1, 2, 4, 5}));
}

TEST(SharpestSearch, EqualToTheCentreIsNotSharper) {
    InMemorySequence seq({impulse(40), impulse(40), impulse(41)});
    Search s;
    runSearch(seq, 1, 1, s);
    EXPECT_EQ(indices(s.found), std::vector<int>({1})); // frame 2 is the excluded end
    runSearch(seq, 0, 3, s);
    EXPECT_EQ(indices(s.found), std::vector<int>({0}));
}

TEST(SharpestSearch, CentreAtTheStartExaminesOnlyTheFramesBeforeTheLast) {
    InMemorySequence seq({impulse(10), impulse(20), impulse(30), impulse(90), impulse(90)});
    Search s;
    runSearch(seq, 0, 3, s);
    EXPECT_EQ(seq.reads(), std::vector<int>({1, 2})); // frame 3 is not examined
    EXPECT_EQ(indices(s.found), std::vector<int>({2, 1, 0}));
}

TEST(SharpestSearch, RadiusZeroIsTheCentreAlone) {
    InMemorySequence seq({impulse(10), impulse(90)});
    Search s;
    runSearch(seq, 0, 0, s);
    EXPECT_TRUE(s.finished);
    EXPECT_EQ(s.run.progress(), 100);
    EXPECT_EQ(indices(s.found), std::vector<int>({0}));
    EXPECT_TRUE(seq.reads().empty());
}

TEST(SharpestSearch, CancelEndsAtTheNextFrameWithWhatWasFound) {
    InMemorySequence seq({impulse(10), impulse(90), impulse(80), impulse(70), impulse(60)});
    Search s;
    seq.setOnRead([&](int i) {
        if (i == 2)
            s.run.requestCancel();
    });
    runSearch(seq, 0, 4, s);
    EXPECT_FALSE(s.finished);
    EXPECT_EQ(seq.reads(), std::vector<int>({1, 2}));
    EXPECT_EQ(indices(s.found), std::vector<int>({1, 2, 0}));
}

// Runs the worker and collects its signal through a queued connection to this thread.
struct WorkerRun {
    int emitted = 0;
    std::vector<int> found;
};

WorkerRun runWorker(InMemorySequence& seq, int centre, int radius, bool cancelEarly) {
    WorkerRun out;
    const cv::Mat image = seq.getCvImageAt(centre, true);
    lumora::SharpestImageSearcherWorkerThread worker(&image, centre, &seq, radius, seq.size());
    QObject receiver;
    QObject::connect(&worker, &lumora::SharpestImageSearcherWorkerThread::processWellFinished, &receiver,
                     [&](SharpestCandidates* c) {
                         ++out.emitted;
                         out.found = indices(*c);
                     });
    if (cancelEarly)
        seq.setOnRead([&](int) { worker.requestCancel(); });
    worker.start();
    worker.wait();
    QCoreApplication::processEvents();
    EXPECT_TRUE(worker.progress() >= 0 && worker.progress() <= 100);
    EXPECT_EQ(worker.outcome(), cancelEarly ? lumora::RunOutcome::Canceled : lumora::RunOutcome::Finished);
    seq.setOnRead(nullptr);
    return out;
}

TEST(SharpestImageSearcherWorkerThread, EmitsOnceWithTheCandidatesOrNothingWhenCancelled) {
    InMemorySequence seq({impulse(10), impulse(90), impulse(20), impulse(80), impulse(30)});
    const WorkerRun done = runWorker(seq, 2, 2, false);
    EXPECT_EQ(done.emitted, 1);
    EXPECT_EQ(done.found, std::vector<int>({1, 3, 2}));
    const WorkerRun cancelled = runWorker(seq, 2, 2, true);
    EXPECT_EQ(cancelled.emitted, 0);
}

} // namespace
