// The fast block search against what it promises: known shifts found at every reach, the exhaustive answer
// where the window is searched whole, nothing moved in flat or merely noisy areas, equal sums resolved
// towards zero, answers inside the window at the frame's edges, the chosen frame's pixels kept where nothing
// matches; and the seeded exhaustive match equal to the plain one. (The ghost map: MotionSceneTest.)

#include "stacking/FastBlockSearch.h"
#include "TestImages.h"
#include "stacking/GhostComposite.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

using lumora::BlockMatch;
using lumora::FastBlockSearch;
using lumora::MatchQuery;
using lumora::test::texture;

constexpr int kHalf = 8;

struct Search {
    FastBlockSearch fast;
    cv::Mat a, b; // packed chosen and frame
    Search(const cv::Mat& chosen, const cv::Mat& frame, bool gate = true)
        : a(lumora::packForMatching(chosen)), b(lumora::packForMatching(frame)) {
        fast.setChosen(a, chosen.channels());
        fast.setFrame(b, gate);
    }
    BlockMatch at(int row, int col, int radius) const {
        std::vector<BlockMatch> out;
        EXPECT_TRUE(fast.match({query(row, col, radius)}, out));
        return out[0];
    }
    MatchQuery query(int row, int col, int radius) const {
        return lumora::matchQueryAt(a.size(), b.size(), row, col, kHalf, radius);
    }
};

// Detail at a few pixels and at tens of pixels, as pictures have: the coarse scales need the latter.
cv::Mat twoScales(int rows, int cols, unsigned seed) {
    cv::Mat out;
    cv::addWeighted(texture(rows, cols, seed, CV_8UC3, 2.0), 0.5,
                    texture(rows, cols, seed + 1, CV_8UC3, 10.0), 0.5, 0.0, out);
    return out;
}

TEST(FastBlockSearch, FindsAKnownShiftAtEveryReach) {
    const cv::Mat chosen = twoScales(220, 300, 71);
    struct Case {
        int dx, dy, radius;
    };
    for (const Case c : {Case{3, -2, 14}, Case{-23, 17, 40}, Case{70, -45, 120}}) {
        // The frame shows the chosen content moved by (dx, dy): the block at p comes from p + (dx, dy).
        const Search s(chosen, lumora::test::shifted(chosen, c.dx, c.dy, texture(220, 300, 72)));
        for (int row = 60; row < 160; row += 23)
            for (int col = 90; col < 210; col += 29) {
                const BlockMatch m = s.at(row, col, c.radius);
                EXPECT_EQ(cv::Point(m.dx, m.dy), cv::Point(c.dx, c.dy)) << row << "," << col;
                EXPECT_EQ(m.ssd, 0);
                EXPECT_FALSE(m.keepChosen);
            }
    }
}

TEST(FastBlockSearch, SmallWindowsGetTheExhaustiveAnswerAndEveryAnswerStaysInItsWindow) {
    cv::Mat a(90, 120, CV_8UC3), b(90, 120, CV_8UC3);
    cv::RNG rng(73);
    rng.fill(a, cv::RNG::UNIFORM, 0, 256);
    rng.fill(b, cv::RNG::UNIFORM, 0, 256);
    const Search s(a, b, false);
    for (int row = 0; row < 90; row += 7)
        for (int col = 0; col < 120; col += 9)
            for (int radius : {12, 60}) {
                const MatchQuery q = s.query(row, col, radius);
                const BlockMatch m = s.at(row, col, radius);
                ASSERT_EQ(m.found(), q.valid()); // a window narrower than the template has nothing to offer
                if (!q.valid())
                    continue;
                EXPECT_TRUE(m.dx >= q.dxMin && m.dx <= q.dxMax && m.dy >= q.dyMin && m.dy <= q.dyMax);
                const BlockMatch whole = lumora::matchQuery(s.a, s.b, q, 2 * kHalf + 1);
                EXPECT_GE(m.ssd, whole.ssd);
                if (radius == 12) { // reach 4: searched whole at full resolution; random pixels have no ties
                    EXPECT_EQ(cv::Point(m.dx, m.dy), cv::Point(whole.dx, whole.dy)) << row << "," << col;
                }
            }
}

TEST(FastBlockSearch, FlatNoisyAndEqualAreasStayInPlace) {
    // A flat frame: every displacement has the same sum; the exhaustive search takes the window's first.
    const cv::Mat flat(80, 80, CV_8UC3, cv::Scalar(90, 120, 150));
    const Search plain(flat, flat.clone(), false);
    const MatchQuery q = plain.query(40, 40, 30);
    EXPECT_EQ(cv::Point(plain.at(40, 40, 30).dx, plain.at(40, 40, 30).dy), cv::Point(0, 0));
    const BlockMatch first = lumora::matchQuery(plain.a, plain.b, q, 2 * kHalf + 1);
    EXPECT_EQ(cv::Point(first.dx, first.dy), cv::Point(q.dxMin, q.dyMin));
    // Stripes with a period of 6 moved by one period: sums of zero every 6 pixels, the nearest to zero wins.
    cv::Mat stripes(100, 100, CV_8UC3);
    for (int x = 0; x < 100; ++x)
        stripes.col(x).setTo(cv::Scalar::all(x % 6 * 40));
    const Search periodic(stripes, lumora::test::shifted(stripes, 6, 0, stripes), false);
    EXPECT_EQ(periodic.at(50, 50, 40).dx, 0);
    // Texture seen again through noise of 3 code values: nothing moved, nothing is searched.
    const cv::Mat chosen = texture(120, 160, 74, CV_8UC3, 1.5);
    cv::Mat noise(chosen.size(), CV_16SC3), noisy;
    cv::RNG(75).fill(noise, cv::RNG::NORMAL, 0, 3);
    cv::add(chosen, noise, noisy, cv::noArray(), CV_8UC3);
    const Search gated(chosen, noisy);
    for (int row = 10; row < 110; row += 5)
        for (int col = 10; col < 150; col += 5) {
            EXPECT_TRUE(gated.fast.isStill(gated.query(row, col, 40))) << row << "," << col;
            EXPECT_EQ(cv::Point(gated.at(row, col, 40).dx, gated.at(row, col, 40).dy), cv::Point(0, 0));
        }
}

TEST(FastBlockSearch, WhereNothingAlikeIsWithinReachTheChosenFramesPixelsStay) {
    // The chosen frame has a yellow square that the frame does not have anywhere.
    cv::Mat chosen = texture(160, 200, 76, CV_8UC3, 2.0);
    const cv::Mat frame = chosen.clone();
    const cv::Rect square(80, 60, 40, 40);
    chosen(square).setTo(cv::Scalar(0, 230, 255));
    const Search s(chosen, frame);
    EXPECT_TRUE(s.at(80, 100, 40).keepChosen);
    EXPECT_FALSE(s.at(20, 20, 40).keepChosen);
    EXPECT_FALSE(s.at(140, 180, 40).keepChosen);
    // The composite takes the chosen frame's pixels there and says that they came from elsewhere.
    lumora::GhostCompositor compositor;
    lumora::CompositeSettings settings;
    settings.searchRadius = 40;
    settings.search = lumora::BlockSearch::Fast;
    lumora::RunControl run;
    const lumora::CompositeResult result = compositor.compose(chosen, frame, settings, run);
    ASSERT_EQ(result.outcome, lumora::RunOutcome::Finished);
    const cv::Mat& composite = result.image;
    const cv::Rect inner(square.x + 4, square.y + 4, square.width - 8, square.height - 8);
    EXPECT_EQ(cv::norm(composite(inner), chosen(inner), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::countNonZero(compositor.displacedMask()(inner)), inner.area());
    EXPECT_EQ(cv::countNonZero(compositor.displacedMask()(cv::Rect(150, 0, 50, 50))), 0);
    // Asked to end, the search stops.
    run.requestCancel();
    std::vector<BlockMatch> out;
    EXPECT_FALSE(s.fast.match({s.query(80, 100, 40)}, out, &run));
}

TEST(BlockMatch, SeededSearchGivesThePlainSearchsAnswer) {
    // Few grey levels, so that equal sums are common; and a flat pair, where every position ties and the
    // first in scan order must win over the seed.
    cv::Mat a(70, 90, CV_8UC3), b(70, 90, CV_8UC3);
    cv::RNG rng(77);
    rng.fill(a, cv::RNG::UNIFORM, 0, 3);
    rng.fill(b, cv::RNG::UNIFORM, 0, 3);
    const cv::Mat flat(70, 90, CV_8UC3, cv::Scalar::all(7));
    for (const auto& [ref, frame] : {std::pair{a, b}, std::pair{flat, flat}}) {
        cv::Mat sums;
        cv::integral(frame, sums, CV_32S);
        for (int i = 0; i < 60; ++i) {
            const MatchQuery q =
                lumora::matchQueryAt(ref.size(), frame.size(), rng.uniform(0, 70), rng.uniform(0, 90), 3, 25);
            const BlockMatch plain = lumora::matchQuery(ref, frame, q, 7);
            const BlockMatch seeded = lumora::matchQuerySeeded(
                ref, frame, sums, q, 7, cv::Point(rng.uniform(-30, 30), rng.uniform(-30, 30)));
            EXPECT_EQ(cv::Vec3d(seeded.dx, seeded.dy, double(seeded.ssd)),
                      cv::Vec3d(plain.dx, plain.dy, double(plain.ssd)));
        }
    }
}

} // namespace
