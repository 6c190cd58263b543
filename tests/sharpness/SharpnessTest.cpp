// The sharpness measure against its closed form, and the search for sharper neighbours: which frames are
// examined, strictly-sharper filtering, ties, radius 0, cancel, and the plain call's result by value.

#include "sharpness/Sharpness.h"
#include "InMemorySequence.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using lumora::SharpestCandidates;
using lumora::test::InMemorySequence;
using V = std::vector<int>;

// A black frame with one impulse of height v inside: the Laplacian is -4v there, v at its four neighbours, 0
// elsewhere, so the mean is 0 and the population variance 20 v^2 / pixels.
cv::Mat impulse(double v, int type = CV_8UC1, int channel = 0) {
    cv::Mat m = cv::Mat::zeros(20, 25, type);
    m.ptr<uchar>(10)[12 * m.channels() + channel] = static_cast<uchar>(v);
    return m;
}

TEST(Sharpness, IsTheVarianceOfTheLaplacianOfTheBlueChannel) {
    EXPECT_EQ(lumora::sharpness(cv::Mat(30, 30, CV_8UC3, cv::Scalar(80, 120, 200))), 0.f);
    EXPECT_EQ(lumora::sharpness(cv::Mat()), 0.f);
    EXPECT_NEAR(lumora::sharpness(impulse(10)), 20.0 * 100 / 500, 1e-4);
    EXPECT_NEAR(lumora::sharpness(impulse(200)), 20.0 * 40000 / 500, 1e-2);
    EXPECT_EQ(lumora::sharpness(impulse(50, CV_8UC3, 1)), 0.f);
    EXPECT_EQ(lumora::sharpness(impulse(50, CV_8UC3, 2)), 0.f);
    EXPECT_NEAR(lumora::sharpness(impulse(50, CV_8UC3, 0)), 20.0 * 2500 / 500, 1e-3);
    // On the border the reflected neighbour keeps the filter well defined.
    cv::Mat border = cv::Mat::zeros(10, 10, CV_8UC1);
    border.at<uchar>(0, 5) = 10;
    EXPECT_TRUE(std::isfinite(lumora::sharpness(border)));
    EXPECT_GT(lumora::sharpness(border), 0.f);
}

V indices(const SharpestCandidates& c) {
    V out;
    for (const auto& p : c)
        out.push_back(p.second);
    return out;
}

TEST(SharpestSearch, KeepsStrictlySharperFramesSharpestFirstWithTheCentreLastAndCancelKeepsWhatWasFound) {
    struct Case {
        const char* name;
        std::vector<double> heights; // sharpness grows with the impulse height
        int centre, radius;
        V reads, found;
        int cancelAt = -1; // the frame whose reading requests a cancel
    };
    const Case cases[] = {
        // examined 0..6, both ends included; 1 and 4 tie: the lower index stays; 0, 2, 5 are not sharper
        {"ties", {30, 50, 20, 40, 50, 10, 60}, 3, 3, {0, 1, 2, 4, 5, 6}, {6, 1, 3}},
        // with a radius of 1 the frame after the centre is examined as well as the one before it
        {"equal is not sharper, last frame examined", {40, 40, 41}, 1, 1, {0, 2}, {2, 1}},
        {"centre at the start", {10, 20, 30, 90, 90}, 0, 3, {1, 2, 3}, {3, 2, 1, 0}},
        {"window cut by the clip's end", {10, 20, 90}, 1, 3, {0, 2}, {2, 1}},
        {"radius zero", {10, 90}, 0, 0, {}, {0}},
        {"cancel ends at the next frame", {10, 90, 80, 70, 60}, 0, 4, {1, 2}, {1, 2, 0}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<cv::Mat> frames;
        for (double h : c.heights)
            frames.push_back(impulse(h));
        InMemorySequence seq(frames);
        SharpestCandidates found;
        lumora::RunControl run;
        seq.setOnRead([&](int i) {
            if (i == c.cancelAt)
                run.requestCancel();
        });
        const lumora::SharpestSearchRequest r{seq.getCvImageAt(c.centre, true), c.centre, seq.size(),
                                              c.radius};
        EXPECT_EQ(lumora::searchSharpest(
                      r, [&](int i) { return seq.getCvImageAt(i, false); }, found, run),
                  c.cancelAt < 0);
        if (c.cancelAt < 0) {
            EXPECT_EQ(run.progress(), 100);
        }
        EXPECT_EQ(seq.reads(), c.reads);
        EXPECT_EQ(indices(found), c.found);
    }
}

TEST(FindSharpest, HandsOverTheCandidatesOrNothingWhenCancelledOrFailed) {
    InMemorySequence seq({impulse(10), impulse(90), impulse(20), impulse(80), impulse(30)});
    const cv::Mat image = seq.getCvImageAt(2, true);
    const auto read = [&](int i) { return seq.getCvImageAt(i, false); };
    for (bool cancelEarly : {false, true}) {
        lumora::RunControl run;
        if (cancelEarly)
            seq.setOnRead([&](int) { run.requestCancel(); });
        const lumora::SharpestSearchResult r = lumora::findSharpest({image, 2, seq.size(), 2}, read, run);
        seq.setOnRead(nullptr);
        EXPECT_EQ(r.outcome, cancelEarly ? lumora::RunOutcome::Canceled : lumora::RunOutcome::Finished);
        EXPECT_EQ(indices(r.candidates), cancelEarly ? V() : V({1, 3, 4, 2})); // the window's last frame too
    }
    lumora::test::LogCapture log;
    lumora::RunControl run;
    const lumora::SharpestSearchResult failed = lumora::findSharpest(
        {image, 2, seq.size(), 2}, [](int) -> cv::Mat { throw std::runtime_error("disk gone"); }, run);
    EXPECT_EQ(failed.outcome, lumora::RunOutcome::Failed);
    EXPECT_EQ(failed.reason, "disk gone");
    EXPECT_TRUE(failed.candidates.empty());
    EXPECT_NE(log.text().find("disk gone"), std::string::npos);
}

} // namespace
