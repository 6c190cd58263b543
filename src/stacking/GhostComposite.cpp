#include "stacking/GhostComposite.h"

#include "app/EventLog.h"
#include "app/Parallel.h"
#include "stacking/BlockMatch.h"
#include "stacking/GhostMask.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <mutex>

namespace lumora {

namespace {

constexpr int kHalfTemplate = 8;
constexpr int kSide = 2 * kHalfTemplate + 1;
constexpr int kMargin = kHalfTemplate + 1; // the frame border handled pixel by pixel
constexpr int kChunkRows = 64;             // rows of blocks one worker takes at a time
constexpr const char* kPlace = "parallelComputeLightImage";

// How an interrupted step reports: the request that interrupted it.
RunOutcome interrupted(const RunControl& run) {
    return run.isCanceled() ? RunOutcome::Canceled : RunOutcome::Stopped;
}

// Pixel (r + dy, c + dx) of `src` into (r, c) of `dst`, the source kept inside the frame; `displaced`
// remembers the pixels that came from elsewhere.
inline void copyDisplaced(const cv::Mat& src, cv::Mat& dst, cv::Mat& displaced, int r, int c, int dy,
                          int dx) {
    const int sr = std::clamp(r + dy, 0, src.rows - 1);
    const int sc = std::clamp(c + dx, 0, src.cols - 1);
    const size_t es = src.elemSize();
    std::memcpy(dst.ptr(r) + c * es, src.ptr(sr) + sc * es, es);
    if (dy != 0 || dx != 0)
        displaced.at<uchar>(r, c) = 255;
}

} // namespace

void GhostCompositor::reset() {
    chosenKey_.release();
    chosenRef_.release();
    chosenSmall_.release();
    chosenPacked_.release();
    table_.clear();
    tableTolerance_ = -1.f;
    estimator_.reset();
    mask_.release();
    ghostsFound_ = false;
    lastRadius_ = 0;
}

void GhostCompositor::prepareRun(const cv::Mat& chosen) {
    const bool same = !chosenKey_.empty() && chosenKey_.data == chosen.data &&
                      chosenKey_.size() == chosen.size() && chosenKey_.type() == chosen.type();
    if (same)
        return;
    reset();
    chosenKey_ = chosen;
    chosenRef_ = matchingCopy(chosen);
    chosenPacked_ = packForMatching(chosenRef_);
    fast_.setChosen(chosenPacked_, chosen.channels());
    const double f = 1024.0 / std::max({chosen.rows, chosen.cols, 1024});
    if (f < 1.0)
        cv::resize(chosenRef_, chosenSmall_, cv::Size(), f, f, cv::INTER_LINEAR);
    else
        chosenSmall_ = chosenRef_;
    range_ = ghostValueRange(chosen);
}

CompositeResult GhostCompositor::compose(const cv::Mat& chosen, const cv::Mat& aligned,
                                         const CompositeSettings& settings, RunControl& run) {
    auto fail = [](const std::string& why) { return CompositeResult{RunOutcome::Failed, cv::Mat(), why}; };
    auto ended = [&run] { return CompositeResult{interrupted(run), cv::Mat(), std::string()}; };
    if (run.shouldEnd())
        return ended();
    if (chosen.size() != aligned.size() || chosen.type() != aligned.type())
        return fail("the frame differs from the chosen frame in size or type");
    if (chosen.rows < 2 * kMargin || chosen.cols < 2 * kMargin)
        return fail("the frame is smaller than 18 pixels");
    if (chosen.depth() != CV_8U && chosen.depth() != CV_16U && chosen.depth() != CV_32F)
        return fail("unsupported element depth");

    int block = std::max(1, settings.blockSize);
    if (block % 2 == 0)
        --block;

    prepareRun(chosen);
    if (tableTolerance_ != settings.ghostTolerance || table_.empty()) {
        table_ = buildToleranceTable(settings.ghostTolerance, range_,
                                     toleranceTableLength(chosen.depth(), range_));
        tableTolerance_ = settings.ghostTolerance;
    }
    cv::Mat composite = cv::Mat::zeros(chosen.size(), chosen.type());
    const cv::Mat alignedRef = matchingCopy(aligned);
    ghostsFound_ = detectGhosts(chosen, aligned, table_, range_, mask_, std::max(1, settings.threadCount));
    cleanGhostMask(mask_);
    if (run.shouldEnd())
        return ended();

    int radius = settings.searchRadius;
    lastEstimateSeconds_ = 0.0;
    if (radius <= -1 && settings.search == BlockSearch::Fast) {
        // Reach costs the fast search little, so it looks as far as the motion estimate could ever confirm
        // instead of as far as this frame's estimate says: no estimate to wait for, and motion the estimate
        // misses (things that moved more than a few frames' worth) is still found.
        radius = ghostsFound_ ? GhostingPowerEstimator::largestRadius(chosen.size(), chosenSmall_.size())
                              : 2 * kHalfTemplate + 1;
    } else if (radius <= -1) {
        if (ghostsFound_) {
            try {
                const auto started = std::chrono::steady_clock::now();
                radius = estimator_.estimate(chosen, chosenSmall_, alignedRef, mask_, &run);
                lastEstimateSeconds_ =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            } catch (const std::exception& e) {
                logError("Computing ghosting power",
                         "The automatic ghosting power option failed maybe because of "
                         "a lack of memory, try to disable this option next times");
                return fail(std::string("motion estimate failed: ") + e.what());
            }
        } else {
            radius = 2 * kHalfTemplate + 1;
        }
    }
    if (run.shouldEnd() || radius < 0)
        return ended();
    lastRadius_ = radius;
    search_ = settings.search;

    const Status composed =
        composeBlocks(aligned, alignedRef, composite, radius, block, std::max(1, settings.threadCount), run);
    if (run.shouldEnd())
        return ended();
    if (!composed)
        return fail(composed.reason());
    return CompositeResult{RunOutcome::Finished, composite, std::string()};
}

void GhostCompositor::take(const cv::Mat& aligned, cv::Mat& composite, int r, int c, const BlockMatch& m) {
    if (m.keepChosen) {
        // Nothing in this frame looks like the chosen frame here (it moved out of reach, or uncovered what
        // the frame hides): the chosen frame's own pixel keeps its place, rather than the best of bad
        // matches.
        copyDisplaced(chosenKey_, composite, displaced_, r, c, 0, 0);
        displaced_.at<uchar>(r, c) = 255;
        return;
    }
    copyDisplaced(aligned, composite, displaced_, r, c, m.dy, m.dx);
}

bool GhostCompositor::search(const std::vector<MatchQuery>& queries, const cv::Mat& alignedPacked,
                             std::vector<BlockMatch>& results, const RunControl& run) const {
    if (search_ == BlockSearch::Fast)
        return fast_.match(queries, results, &run);
    return matchQueries(chosenPacked_, alignedPacked, kSide, queries, results, &run);
}

Status GhostCompositor::composeBlocks(const cv::Mat& aligned, const cv::Mat& alignedRef, cv::Mat& composite,
                                      int radius, int block, int threads, RunControl& run) {
    const cv::Mat alignedPacked = packForMatching(alignedRef);
    if (search_ == BlockSearch::Fast)
        fast_.setFrame(alignedPacked);
    displaced_ = cv::Mat::zeros(aligned.size(), CV_8UC1);
    const int rows = aligned.rows, cols = aligned.cols;
    const int half = block / 2;
    const int blockRows = (rows - 2 * kMargin + block - 1) / block;
    const int blockCols = (cols - 2 * kMargin + block - 1) / block;
    const int rowsPerChunk = std::max(1, kChunkRows / block);
    const int chunks = (blockRows + rowsPerChunk - 1) / rowsPerChunk;
    const size_t rowBytes = static_cast<size_t>(cols - 2 * kMargin) * aligned.elemSize();

    std::atomic<int> doneRows{0};
    std::mutex errorMutex;
    std::string failure;
    auto recordFailure = [&](const std::string& why) {
        std::lock_guard<std::mutex> lock(errorMutex);
        if (failure.empty())
            failure = why.empty() ? std::string("unknown error") : why;
    };

    // One chunk of block rows: match the moving blocks together, then write the rows.
    auto runChunk = [&](int chunk) {
        const int j0 = chunk * rowsPerChunk;
        const int j1 = std::min(blockRows, j0 + rowsPerChunk);
        std::vector<MatchQuery> queries;
        std::vector<cv::Point> blocks; // (block column, block row) of each query
        for (int j = j0; j < j1; ++j) {
            const int top = kMargin + j * block;
            const int bottom = std::min(top + block, rows - kMargin);
            for (int i = 0; i < blockCols; ++i) {
                const int left = kMargin + i * block;
                const int right = std::min(left + block, cols - kMargin);
                bool moving = false;
                for (int y = top; y < bottom && !moving; ++y) {
                    const uchar* m = mask_.ptr<uchar>(y);
                    for (int x = left; x < right; ++x)
                        if (m[x] >= 200) {
                            moving = true;
                            break;
                        }
                }
                if (moving) {
                    queries.push_back(matchQueryAt(chosenRef_.size(), alignedRef.size(), top + half,
                                                   left + half, kHalfTemplate, radius));
                    blocks.emplace_back(i, j);
                }
            }
        }
        std::vector<BlockMatch> matches;
        if (!search(queries, alignedPacked, matches, run))
            return;
        const int yBegin = kMargin + j0 * block;
        const int yEnd = std::min(kMargin + j1 * block, rows - kMargin);
        for (int y = yBegin; y < yEnd; ++y)
            std::memcpy(composite.ptr(y) + kMargin * aligned.elemSize(),
                        aligned.ptr(y) + kMargin * aligned.elemSize(), rowBytes);
        for (size_t q = 0; q < blocks.size(); ++q) {
            const BlockMatch& m = matches[q];
            const int top = kMargin + blocks[q].y * block;
            const int left = kMargin + blocks[q].x * block;
            for (int y = top; y < std::min(top + block, rows - kMargin); ++y) {
                const uchar* mk = mask_.ptr<uchar>(y);
                for (int x = left; x < std::min(left + block, cols - kMargin); ++x)
                    if (mk[x] >= 200)
                        take(aligned, composite, y, x, m);
            }
        }
        const int done = doneRows.fetch_add(j1 - j0) + (j1 - j0);
        run.advanceProgress(100 * done / blockRows);
    };

    // Task 0 is the margin, the others the chunks of block rows: they write disjoint parts of the composite,
    // and the margin's marks in the mask lie outside what the chunks read.
    parallelFor(chunks + 1, threads, kPlace, [&](int task) {
        if (run.shouldEnd())
            return;
        try {
            if (task == 0)
                composeMargin(aligned, alignedRef, alignedPacked, composite, radius, run);
            else
                runChunk(task - 1);
        } catch (const std::exception& e) {
            recordFailure(e.what());
        } catch (...) {
            recordFailure(std::string());
        }
    });

    if (!failure.empty()) {
        logError(kPlace, "The anti-ghosting composite failed: " + failure + "\n");
        return lumora::failure(failure);
    }
    return {};
}

void GhostCompositor::composeMargin(const cv::Mat& aligned, const cv::Mat& alignedRef,
                                    const cv::Mat& alignedPacked, cv::Mat& composite, int radius,
                                    const RunControl& run) {
    const int rows = aligned.rows, cols = aligned.cols;

    // A band is a list of lines (columns of the top/bottom bands, rows of the side bands); along a line the
    // first ghost pixel is matched and the ghost pixels after it reuse its displacement.
    struct Line {
        int r0, c0, dr, dc, length;
    };
    auto runBand = [&](const std::vector<Line>& lines) {
        std::vector<MatchQuery> queries(lines.size());
        std::vector<int> first(lines.size(), -1);
        for (size_t i = 0; i < lines.size(); ++i) {
            const Line& l = lines[i];
            for (int k = 0; k < l.length; ++k)
                if (mask_.at<uchar>(l.r0 + k * l.dr, l.c0 + k * l.dc) > 250) {
                    first[i] = k;
                    queries[i] = matchQueryAt(chosenRef_.size(), alignedRef.size(), l.r0 + k * l.dr,
                                              l.c0 + k * l.dc, kHalfTemplate, radius);
                    break;
                }
        }
        std::vector<BlockMatch> matches;
        if (!search(queries, alignedPacked, matches, run))
            return;
        for (size_t i = 0; i < lines.size(); ++i) {
            const Line& l = lines[i];
            for (int k = 0; k < l.length; ++k) {
                const int r = l.r0 + k * l.dr, c = l.c0 + k * l.dc;
                uchar& m = mask_.at<uchar>(r, c);
                if (first[i] >= 0 && k >= first[i] && m > 250) {
                    take(aligned, composite, r, c, matches[i]);
                    if (k > first[i])
                        m = 120;
                } else if (m < 100) {
                    copyDisplaced(aligned, composite, displaced_, r, c, 0, 0);
                }
            }
        }
    };

    std::vector<Line> top, bottom, left, right;
    for (int c = kMargin; c <= cols - kMargin - 1; ++c) {
        top.push_back({0, c, 1, 0, kMargin});
        bottom.push_back({rows - kMargin, c, 1, 0, kMargin});
    }
    for (int r = kMargin; r <= rows - kMargin - 1; ++r) {
        left.push_back({r, 0, 0, 1, kMargin});
        right.push_back({r, cols - kMargin, 0, 1, kMargin});
    }
    for (const auto* band : {&top, &bottom, &left, &right}) {
        if (run.shouldEnd())
            return;
        runBand(*band);
    }

    const cv::Point corners[4] = {{0, 0}, {cols - 1, 0}, {0, rows - 1}, {cols - 1, rows - 1}};
    for (const cv::Point& corner : corners) {
        if (run.shouldEnd())
            return;
        const int x0 = corner.x == 0 ? 0 : cols - kMargin;
        const int y0 = corner.y == 0 ? 0 : rows - kMargin;
        const cv::Rect area(x0, y0, kMargin, kMargin);
        std::vector<BlockMatch> found(1);
        if (cv::countNonZero(mask_(area) > 250) > 0 &&
            !search({matchQueryAt(chosenRef_.size(), alignedRef.size(), corner.y, corner.x, kHalfTemplate,
                                  radius)},
                    alignedPacked, found, run))
            return;
        const BlockMatch& m = found[0];
        for (int r = y0; r < y0 + kMargin; ++r)
            for (int c = x0; c < x0 + kMargin; ++c) {
                if (mask_.at<uchar>(r, c) > 250 && m.found())
                    take(aligned, composite, r, c, m);
                else
                    copyDisplaced(aligned, composite, displaced_, r, c, 0, 0);
            }
    }
}

} // namespace lumora
