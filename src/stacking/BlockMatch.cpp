#include "stacking/BlockMatch.h"

#include "stacking/SimdClones.h"

#include <algorithm>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstdlib>
#include <limits>

namespace lumora {

namespace detail {

// Sum of squared differences of two runs of 8-bit values.
LUMORA_SIMD_CLONES std::uint32_t runSsd(const uchar* a, const uchar* b, int n) {
    std::uint32_t s = 0;
    for (int i = 0; i < n; ++i) {
        const int d = static_cast<int>(a[i]) - static_cast<int>(b[i]);
        s += static_cast<std::uint32_t>(d * d);
    }
    return s;
}

// One row of a running 17-row (template-high) column sum, one value per pixel: e = squared difference of the
// pixel, run += e - (the value this slot held, from `side` rows above), slot = e.
LUMORA_SIMD_CLONES void slideRow1(const uchar* a, const uchar* b, std::uint32_t* slot, std::uint32_t* run,
                                  int n) {
    for (int i = 0; i < n; ++i) {
        const int d = static_cast<int>(a[i]) - static_cast<int>(b[i]);
        const std::uint32_t e = static_cast<std::uint32_t>(d * d);
        run[i] += e - slot[i];
        slot[i] = e;
    }
}

void slideRow4Plain(const uchar* a, const uchar* b, std::uint32_t* slot, std::uint32_t* run, int pixels) {
    for (int x = 0; x < pixels; ++x) {
        std::uint32_t e = 0;
        for (int c = 0; c < 4; ++c) {
            const int d = static_cast<int>(a[4 * x + c]) - static_cast<int>(b[4 * x + c]);
            e += static_cast<std::uint32_t>(d * d);
        }
        run[x] += e - slot[x];
        slot[x] = e;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same for 4-byte pixels with AVX2, eight pixels a step: differences as 16-bit, squared and pair-summed
// by madd, the two pairs of each pixel added, the lanes put back in pixel order.
__attribute__((target("avx2"))) void slideRow4Avx2(const uchar* a, const uchar* b, std::uint32_t* slot,
                                                   std::uint32_t* run, int pixels) {
    int x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 4 * x));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 4 * x));
        const __m256i dLo = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(va)),
                                             _mm256_cvtepu8_epi16(_mm256_castsi256_si128(vb)));
        const __m256i dHi = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(va, 1)),
                                             _mm256_cvtepu8_epi16(_mm256_extracti128_si256(vb, 1)));
        const __m256i sums = _mm256_hadd_epi32(_mm256_madd_epi16(dLo, dLo), _mm256_madd_epi16(dHi, dHi));
        const __m256i e = _mm256_permute4x64_epi64(sums, 0xD8);
        __m256i* s = reinterpret_cast<__m256i*>(slot + x);
        __m256i* r = reinterpret_cast<__m256i*>(run + x);
        const __m256i old = _mm256_loadu_si256(s);
        _mm256_storeu_si256(r, _mm256_add_epi32(_mm256_loadu_si256(r), _mm256_sub_epi32(e, old)));
        _mm256_storeu_si256(s, e);
    }
    slideRow4Plain(a + 4 * x, b + 4 * x, slot + x, run + x, pixels - x);
}
#endif

void slideRow4(const uchar* a, const uchar* b, std::uint32_t* slot, std::uint32_t* run, int pixels) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        slideRow4Avx2(a, b, slot, run, pixels);
        return;
    }
#endif
    slideRow4Plain(a, b, slot, run, pixels);
}

// Pixels without a partner in the other image contribute nothing.
void slideZero(std::uint32_t* slot, std::uint32_t* run, int n) {
    for (int i = 0; i < n; ++i) {
        run[i] -= slot[i];
        slot[i] = 0;
    }
}

} // namespace detail

namespace {

constexpr int kTileRows = 96; // template rows per tile: the tile's running sums stay in the core's cache
constexpr int kTileCols = 128;

bool sameKind(const cv::Mat& a, const cv::Mat& b) {
    return a.depth() == CV_8U && b.depth() == CV_8U && a.channels() == b.channels();
}

// Whether a sum found after the best one replaces it (candidates arrive in scan order).
inline bool replaces(std::int64_t sum, int dx, int dy, std::int64_t best, int bestDx, int bestDy,
                     TieRule tie) {
    if (sum != best)
        return sum < best;
    return tie == TieRule::NearestToZero && dx * dx + dy * dy < bestDx * bestDx + bestDy * bestDy;
}

} // namespace

MatchQuery matchQueryAt(cv::Size ref, cv::Size other, int row, int col, int halfTemplate, int searchRadius) {
    const int side = 2 * halfTemplate + 1;
    MatchQuery q;
    q.x0 = std::max(col - halfTemplate, 0);
    if (q.x0 + side >= ref.width)
        q.x0 = ref.width - side - 1;
    q.y0 = std::max(row - halfTemplate, 0);
    if (q.y0 + side >= ref.height)
        q.y0 = ref.height - side - 1;
    const int xs = std::max(col - searchRadius, 0);
    const int xe = std::min(col + searchRadius, other.width - 1);
    const int ys = std::max(row - searchRadius, 0);
    const int ye = std::min(row + searchRadius, other.height - 1);
    const int mapW = std::abs(xe - xs) - side + 1;
    const int mapH = std::abs(ye - ys) - side + 1;
    if (q.x0 < 0 || q.y0 < 0 || mapW < 1 || mapH < 1)
        return MatchQuery{q.x0, q.y0, 0, -1, 0, -1};
    q.dxMin = std::min(xs, xe) - q.x0;
    q.dxMax = q.dxMin + mapW - 1;
    q.dyMin = std::min(ys, ye) - q.y0;
    q.dyMax = q.dyMin + mapH - 1;
    return q;
}

BlockMatch matchQuery(const cv::Mat& ref, const cv::Mat& other, const MatchQuery& q, int side, TieRule tie) {
    BlockMatch best;
    if (!q.valid() || !sameKind(ref, other))
        return best;
    const int cn = ref.channels();
    const int n = side * cn;
    std::int64_t bestSsd = std::numeric_limits<std::int64_t>::max();
    // In scan order an equal sum found later wins only by being nearer to zero, so a partial sum that
    // reached the best (or passed it) can stop early.
    const bool nearest = tie == TieRule::NearestToZero;
    for (int dy = q.dyMin; dy <= q.dyMax; ++dy) {
        for (int dx = q.dxMin; dx <= q.dxMax; ++dx) {
            std::int64_t s = 0;
            for (int j = 0; j < side && (s < bestSsd || (nearest && s == bestSsd)); ++j)
                s += detail::runSsd(ref.ptr<uchar>(q.y0 + j) + q.x0 * cn,
                                    other.ptr<uchar>(q.y0 + dy + j) + (q.x0 + dx) * cn, n);
            if (replaces(s, dx, dy, bestSsd, best.dx, best.dy, tie)) {
                bestSsd = s;
                best = BlockMatch{dy, dx, s};
            }
        }
    }
    return best;
}

BlockMatch matchQuerySeeded(const cv::Mat& ref, const cv::Mat& other, const cv::Mat& otherSums,
                            const MatchQuery& q, int side, cv::Point seed) {
    if (!q.valid() || !sameKind(ref, other) || ref.channels() > 4 || otherSums.depth() != CV_32S ||
        otherSums.rows != other.rows + 1 || otherSums.cols != other.cols + 1)
        return matchQuery(ref, other, q, side);
    const int cn = ref.channels();
    const int n = side * cn;
    std::int64_t templateSum[4] = {0, 0, 0, 0};
    for (int j = 0; j < side; ++j) {
        const uchar* t = ref.ptr<uchar>(q.y0 + j) + q.x0 * cn;
        for (int i = 0; i < n; ++i)
            templateSum[i % cn] += t[i];
    }
    const std::int64_t pixels = static_cast<std::int64_t>(side) * side;
    auto windowSum = [&](int x, int y, int c) {
        const int* top = otherSums.ptr<int>(y);
        const int* bottom = otherSums.ptr<int>(y + side);
        return static_cast<std::int64_t>(bottom[(x + side) * cn + c]) - top[(x + side) * cn + c] -
               bottom[x * cn + c] + top[x * cn + c];
    };
    // The sum at (dx, dy), abandoned once it exceeds `limit`.
    auto ssdAt = [&](int dx, int dy, std::int64_t limit) {
        std::int64_t s = 0;
        for (int j = 0; j < side && s <= limit; ++j)
            s += detail::runSsd(ref.ptr<uchar>(q.y0 + j) + q.x0 * cn,
                                other.ptr<uchar>(q.y0 + dy + j) + (q.x0 + dx) * cn, n);
        return s;
    };
    const int sx = std::clamp(seed.x, q.dxMin, q.dxMax);
    const int sy = std::clamp(seed.y, q.dyMin, q.dyMax);
    BlockMatch best{sy, sx, ssdAt(sx, sy, std::numeric_limits<std::int64_t>::max())};
    for (int dy = q.dyMin; dy <= q.dyMax; ++dy) {
        for (int dx = q.dxMin; dx <= q.dxMax; ++dx) {
            std::int64_t bound = 0; // (Σ template - Σ window)² summed over channels, times the pixel count
            for (int c = 0; c < cn; ++c) {
                const std::int64_t d = templateSum[c] - windowSum(q.x0 + dx, q.y0 + dy, c);
                bound += d * d;
            }
            if (bound > best.ssd * pixels)
                continue;
            const std::int64_t s = ssdAt(dx, dy, best.ssd);
            // Equal sums: the first in scan order wins, as in the plain search.
            if (s < best.ssd || (s == best.ssd && (dy < best.dy || (dy == best.dy && dx < best.dx))))
                best = BlockMatch{dy, dx, s};
        }
    }
    return best;
}

BlockMatch matchBlock(const cv::Mat& ref, const cv::Mat& other, int row, int col, int halfTemplate,
                      int searchRadius) {
    const MatchQuery q = matchQueryAt(ref.size(), other.size(), row, col, halfTemplate, searchRadius);
    return matchQuery(ref, other, q, 2 * halfTemplate + 1);
}

namespace {

// Pixels of 1 or 4 bytes, so that the squared differences of a pixel are summed before anything else and the
// running sums hold one value per pixel; 3-channel images are padded with a zero channel.
cv::Mat packedImage(const cv::Mat& m) {
    if (m.channels() == 1 || m.channels() == 4)
        return m;
    std::vector<cv::Mat> planes;
    cv::split(m, planes);
    while (planes.size() < 4)
        planes.push_back(cv::Mat::zeros(m.size(), CV_8UC1));
    planes.resize(4);
    cv::Mat out;
    cv::merge(planes, out);
    return out;
}

// One tile: queries whose templates lie close together, swept over the union of their displacements. For each
// displacement the squared differences of the tile are summed down the columns (running sums), then along the
// rows of each template top, and every query allowing that displacement reads its template sum in O(1).
class TileSweep {
public:
    TileSweep(const cv::Mat& ref, const cv::Mat& other, int side, const RunControl* run, TieRule tie)
        : ref_(ref), other_(other), side_(side), control_(run), tie_(tie) {}

    // False when cancelled (results of this tile then not written).
    bool run(const std::vector<MatchQuery>& queries, std::vector<int> ids, std::vector<BlockMatch>& results) {
        std::sort(ids.begin(), ids.end(), [&](int a, int b) {
            const MatchQuery &qa = queries[a], &qb = queries[b];
            return qa.y0 != qb.y0 ? qa.y0 < qb.y0 : qa.x0 < qb.x0;
        });
        const size_t n = ids.size();
        int x0 = std::numeric_limits<int>::max(), x1 = 0, y0 = x0, y1 = 0;
        int dxMin = x0, dxMax = std::numeric_limits<int>::min(), dyMin = x0, dyMax = dxMax;
        bool uniform = true; // every query allows the same displacements (the usual case away from the edges)
        q_.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const MatchQuery& q = queries[static_cast<size_t>(ids[i])];
            q_[i] = q;
            x0 = std::min(x0, q.x0);
            x1 = std::max(x1, q.x0 + side_);
            y0 = std::min(y0, q.y0);
            y1 = std::max(y1, q.y0 + side_);
            dxMin = std::min(dxMin, q.dxMin);
            dxMax = std::max(dxMax, q.dxMax);
            dyMin = std::min(dyMin, q.dyMin);
            dyMax = std::max(dyMax, q.dyMax);
            uniform = uniform && q.dxMin == q_[0].dxMin && q.dxMax == q_[0].dxMax && q.dyMin == q_[0].dyMin &&
                      q.dyMax == q_[0].dyMax;
        }
        // Groups of queries sharing a template top.
        groups_.clear();
        for (size_t i = 0; i < n;) {
            size_t e = i;
            while (e < n && q_[e].y0 == q_[i].y0)
                ++e;
            groups_.push_back({q_[i].y0 - y0, i, e});
            i = e;
        }
        const int rows = y1 - y0;
        const int cols = x1 - x0;
        ring_.assign(static_cast<size_t>(side_) * cols, 0u);
        run_.assign(static_cast<size_t>(cols), 0u);
        p_.resize(static_cast<size_t>(cols + 1));
        lo_.resize(n);
        for (size_t i = 0; i < n; ++i)
            lo_[i] = q_[i].x0 - x0;
        best_.assign(n, std::numeric_limits<std::int64_t>::max());
        bestDx_.assign(n, 0);
        bestDy_.assign(n, 0);

        for (int dy = dyMin; dy <= dyMax; ++dy) {
            if (control_ && control_->shouldEnd())
                return false;
            int rowDxMin = std::numeric_limits<int>::max(), rowDxMax = std::numeric_limits<int>::min();
            for (size_t i = 0; i < n; ++i)
                if (dy >= q_[i].dyMin && dy <= q_[i].dyMax) {
                    rowDxMin = std::min(rowDxMin, q_[i].dxMin);
                    rowDxMax = std::max(rowDxMax, q_[i].dxMax);
                }
            for (int dx = rowDxMin; dx <= rowDxMax; ++dx)
                sweepDisplacement(x0, y0, rows, cols, dx, dy, uniform);
        }
        for (size_t i = 0; i < n; ++i)
            if (best_[i] != std::numeric_limits<std::int64_t>::max())
                results[static_cast<size_t>(ids[i])] = BlockMatch{bestDy_[i], bestDx_[i], best_[i]};
        return true;
    }

private:
    struct Group {
        int top;
        size_t begin, end;
    };

    static bool allows(const MatchQuery& q, int dx, int dy) {
        return dy >= q.dyMin && dy <= q.dyMax && dx >= q.dxMin && dx <= q.dxMax;
    }

    // One displacement: the tile's rows go down once, keeping in run_ the per-pixel sum of the last `side`
    // rows of squared differences (ring_ remembers those rows). When the last row of a template top's window
    // is reached, the row of sums is summed along (prefix) and each query of that top reads its template's
    // sum.
    void sweepDisplacement(int x0, int y0, int rows, int cols, int dx, int dy, bool uniform) {
        std::fill(ring_.begin(), ring_.end(), 0u);
        std::fill(run_.begin(), run_.end(), 0u);
        const int pw = ref_.channels();
        const int cBegin = std::clamp(-dx - x0, 0, cols);
        const int cEnd = std::clamp(other_.cols - dx - x0, cBegin, cols);
        size_t g = 0;
        for (int r = 0; r < rows && g < groups_.size(); ++r) {
            std::uint32_t* slot = &ring_[static_cast<size_t>(r % side_) * cols];
            std::uint32_t* run = run_.data();
            const int by = y0 + r + dy;
            if (by < 0 || by >= other_.rows || cBegin >= cEnd) {
                detail::slideZero(slot, run, cols);
            } else {
                detail::slideZero(slot, run, cBegin);
                const uchar* a = ref_.ptr<uchar>(y0 + r) + (x0 + cBegin) * pw;
                const uchar* b = other_.ptr<uchar>(by) + (x0 + cBegin + dx) * pw;
                if (pw == 4)
                    detail::slideRow4(a, b, slot + cBegin, run + cBegin, cEnd - cBegin);
                else
                    detail::slideRow1(a, b, slot + cBegin, run + cBegin, cEnd - cBegin);
                detail::slideZero(slot + cEnd, run + cEnd, cols - cEnd);
            }
            for (; g < groups_.size() && groups_[g].top + side_ - 1 == r; ++g)
                readGroup(groups_[g], cols, dx, dy, uniform);
        }
    }

    void readGroup(const Group& g, int cols, int dx, int dy, bool uniform) {
        bool any = uniform;
        for (size_t i = g.begin; i < g.end && !any; ++i)
            any = allows(q_[i], dx, dy);
        if (!any)
            return;
        std::uint32_t acc = 0;
        p_[0] = 0;
        for (int x = 0; x < cols; ++x) {
            acc += run_[static_cast<size_t>(x)];
            p_[static_cast<size_t>(x) + 1] = acc;
        }
        for (size_t i = g.begin; i < g.end; ++i) {
            if (!uniform && !allows(q_[i], dx, dy))
                continue;
            const std::int64_t sum = static_cast<std::int64_t>(p_[lo_[i] + side_] - p_[lo_[i]]);
            if (replaces(sum, dx, dy, best_[i], bestDx_[i], bestDy_[i], tie_)) {
                best_[i] = sum;
                bestDx_[i] = dx;
                bestDy_[i] = dy;
            }
        }
    }

    const cv::Mat& ref_;
    const cv::Mat& other_;
    int side_;
    const RunControl* control_;
    TieRule tie_;
    std::vector<MatchQuery> q_;
    std::vector<Group> groups_;
    std::vector<std::uint32_t> ring_, run_, p_;
    std::vector<int> lo_;
    std::vector<std::int64_t> best_;
    std::vector<int> bestDx_, bestDy_;
};

} // namespace

cv::Mat packForMatching(const cv::Mat& image) {
    return packedImage(image);
}

bool matchQueries(const cv::Mat& ref, const cv::Mat& other, int side, const std::vector<MatchQuery>& queries,
                  std::vector<BlockMatch>& results, const RunControl* run, TieRule tie) {
    results.assign(queries.size(), BlockMatch{});
    if (!sameKind(ref, other) || ref.channels() > 4)
        return true;
    std::vector<int> order;
    order.reserve(queries.size());
    for (int i = 0; i < static_cast<int>(queries.size()); ++i)
        if (queries[static_cast<size_t>(i)].valid())
            order.push_back(i);
    if (order.empty())
        return true;
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const MatchQuery &qa = queries[a], &qb = queries[b];
        return qa.y0 != qb.y0 ? qa.y0 < qb.y0 : qa.x0 < qb.x0;
    });
    const cv::Mat a = packedImage(ref);
    const cv::Mat b = packedImage(other);
    TileSweep sweep(a, b, side, run, tie);
    size_t k = 0;
    while (k < order.size()) {
        if (run && run->shouldEnd())
            return false;
        // A band of template rows, then cut into runs of nearby columns.
        const int bandTop = queries[order[k]].y0;
        size_t bandEnd = k;
        while (bandEnd < order.size() && queries[order[bandEnd]].y0 < bandTop + kTileRows)
            ++bandEnd;
        std::vector<int> band(order.begin() + static_cast<long>(k),
                              order.begin() + static_cast<long>(bandEnd));
        std::sort(band.begin(), band.end(), [&](int x, int y) { return queries[x].x0 < queries[y].x0; });
        size_t t = 0;
        while (t < band.size()) {
            const int left = queries[band[t]].x0;
            size_t tileEnd = t;
            while (tileEnd < band.size() && queries[band[tileEnd]].x0 < left + kTileCols)
                ++tileEnd;
            if (!sweep.run(queries,
                           std::vector<int>(band.begin() + static_cast<long>(t),
                                            band.begin() + static_cast<long>(tileEnd)),
                           results))
                return false;
            t = tileEnd;
        }
        k = bandEnd;
    }
    return true;
}

} // namespace lumora
