// Block matching: the direct and batched matchers against a brute-force scan written from the definition
// (template and window clipped at the frame's edges, exact sums, first minimum in row-major order).

#include "stacking/BlockMatch.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {

using lumora::BlockMatch;
using lumora::MatchQuery;

cv::Mat randomImage(int rows, int cols, int type, unsigned seed, int maxValue = 255) {
    cv::Mat m(rows, cols, type);
    cv::RNG rng(seed);
    rng.fill(m, cv::RNG::UNIFORM, 0, maxValue + 1);
    return m;
}

// Template of side 2h+1 from (col-h,row-h) kept inside the image without its last row/column, window
// [col-S, col+S] clipped, its last row/column unused; strict < keeps the first minimum.
BlockMatch bruteForce(const cv::Mat& a, const cv::Mat& b, int row, int col, int h, int s) {
    const int side = 2 * h + 1;
    int x0 = std::max(col - h, 0), y0 = std::max(row - h, 0);
    if (x0 + side >= a.cols)
        x0 = a.cols - side - 1;
    if (y0 + side >= a.rows)
        y0 = a.rows - side - 1;
    const int xs = std::max(col - s, 0), xe = std::min(col + s, b.cols - 1);
    const int ys = std::max(row - s, 0), ye = std::min(row + s, b.rows - 1);
    BlockMatch best;
    std::int64_t bestSsd = std::numeric_limits<std::int64_t>::max();
    const int cn = a.channels();
    for (int wy = ys; wy + side <= ye; ++wy)
        for (int wx = xs; wx + side <= xe; ++wx) {
            std::int64_t ssd = 0;
            for (int j = 0; j < side; ++j)
                for (int i = 0; i < side * cn; ++i) {
                    const int d = a.ptr<uchar>(y0 + j)[x0 * cn + i] - b.ptr<uchar>(wy + j)[wx * cn + i];
                    ssd += d * d;
                }
            if (ssd < bestSsd) {
                bestSsd = ssd;
                best = BlockMatch{wy - y0, wx - x0, ssd};
            }
        }
    return best;
}

void expectSame(const BlockMatch& got, const BlockMatch& want, const std::string& where) {
    EXPECT_EQ(got.dy, want.dy) << where;
    EXPECT_EQ(got.dx, want.dx) << where;
    EXPECT_EQ(got.ssd, want.ssd) << where;
}

TEST(BlockMatch, DirectMatchEqualsBruteForceEverywhere) {
    for (int type : {CV_8UC1, CV_8UC3})
        for (int maxValue : {3, 0}) { // few values: many near-ties; flat: every position ties
            const cv::Mat a = randomImage(47, 61, type, 21, maxValue);
            const cv::Mat b = randomImage(47, 61, type, 22, maxValue);
            for (int row = 0; row < a.rows; row += 3)
                for (int col = 0; col < a.cols; col += 4)
                    expectSame(lumora::matchBlock(a, b, row, col, 8, 17), bruteForce(a, b, row, col, 8, 17),
                               "at " + std::to_string(row) + "," + std::to_string(col));
        }
    const cv::Mat small = randomImage(20, 20, CV_8UC1, 1);
    EXPECT_FALSE(lumora::matchBlock(small, small, 10, 10, 16, 5).found())
        << "window smaller than the template";
}

TEST(BlockMatch, BatchedMatchesEqualDirectOnesForAnyMixOfQueries) {
    std::mt19937 rng(5);
    for (int type : {CV_8UC1, CV_8UC3}) {
        for (int maxValue : {255, 2, 0}) {
            const cv::Mat a = randomImage(150, 170, type, 31, maxValue);
            const cv::Mat b = randomImage(150, 170, type, 32, maxValue);
            std::vector<MatchQuery> queries;
            for (int i = 0; i < 400; ++i) {
                const int row = static_cast<int>(rng() % 150), col = static_cast<int>(rng() % 170);
                queries.push_back(
                    lumora::matchQueryAt(a.size(), b.size(), row, col, 8, 17 + static_cast<int>(rng() % 9)));
            }
            // a block grid as the composite uses it
            for (int row = 11; row < 150 - 7; row += 5)
                for (int col = 11; col < 170 - 7; col += 5)
                    queries.push_back(lumora::matchQueryAt(a.size(), b.size(), row, col, 8, 18));
            std::vector<BlockMatch> batch;
            ASSERT_TRUE(lumora::matchQueries(a, b, 17, queries, batch));
            ASSERT_EQ(batch.size(), queries.size());
            for (size_t i = 0; i < queries.size(); ++i)
                expectSame(batch[i], lumora::matchQuery(a, b, queries[i], 17), "query " + std::to_string(i));
        }
    }
    const cv::Mat a = randomImage(100, 100, CV_8UC1, 3);
    std::vector<MatchQuery> queries(10, lumora::matchQueryAt(a.size(), a.size(), 50, 50, 8, 20));
    std::vector<BlockMatch> out;
    lumora::RunControl run;
    run.requestCancel();
    EXPECT_FALSE(lumora::matchQueries(a, a, 17, queries, out, &run)) << "a cancelled batch stops";
    // A frame of another kind has nothing comparable to offer: every query is left unmatched.
    ASSERT_TRUE(lumora::matchQueries(randomImage(100, 100, CV_8UC3, 4), a, 17, queries, out));
    for (const BlockMatch& m : out)
        EXPECT_FALSE(m.found());
}

} // namespace
