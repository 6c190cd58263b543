#include "tonemap/LaplacianPyramid.h"

#include <algorithm>

namespace lumora {

int pyramidLevelCount(int rows, int cols) {
    int n = 1;
    for (int m = std::min(rows, cols); m > 1; m = (m + 1) / 2)
        ++n;
    return n;
}

cv::Mat pyramidDown(const cv::Mat& image) {
    CV_Assert(image.type() == CV_32FC1);
    const int rows = image.rows, cols = image.cols;
    const int outRows = (rows + 1) / 2, outCols = (cols + 1) / 2;
    // Vertical pass at the kept rows, then horizontal pass at the kept columns.
    cv::Mat tmp(outRows, cols, CV_32F);
    for (int j = 0; j < outRows; ++j) {
        float* dst = tmp.ptr<float>(j);
        std::fill(dst, dst + cols, 0.f);
        for (int t = -2; t <= 2; ++t) {
            const int r = 2 * j + t;
            if (r < 0 || r >= rows)
                continue;
            const float w = kPyramidTaps[static_cast<size_t>(t + 2)];
            const float* src = image.ptr<float>(r);
            for (int x = 0; x < cols; ++x)
                dst[x] += w * src[x];
        }
    }
    cv::Mat out(outRows, outCols, CV_32F);
    for (int j = 0; j < outRows; ++j) {
        const float* src = tmp.ptr<float>(j);
        float* dst = out.ptr<float>(j);
        for (int k = 0; k < outCols; ++k) {
            float s = 0.f;
            for (int t = -2; t <= 2; ++t) {
                const int c = 2 * k + t;
                if (c >= 0 && c < cols)
                    s += kPyramidTaps[static_cast<size_t>(t + 2)] * src[c];
            }
            dst[k] = s;
        }
    }
    return out;
}

namespace {

// For each fine position i: the coarse neighbours k with |2k - i| <= 2 and their normalised weights.
struct UpTaps {
    int first = 0, count = 0;
    float w[3] = {0.f, 0.f, 0.f};
};

std::vector<UpTaps> upTaps(int fine, int coarse) {
    std::vector<UpTaps> taps(static_cast<size_t>(fine));
    for (int i = 0; i < fine; ++i) {
        UpTaps& t = taps[static_cast<size_t>(i)];
        const int k0 = std::max(0, (i - 1) / 2), k1 = std::min(coarse - 1, (i + 2) / 2);
        float norm = 0.f;
        t.first = k0;
        for (int k = k0; k <= k1; ++k) { // every k here has |2k - i| <= 2
            const float w = kPyramidTaps[static_cast<size_t>(2 * k - i + 2)];
            t.w[t.count++] = w;
            norm += w;
        }
        for (int n = 0; n < t.count; ++n)
            t.w[n] /= norm;
    }
    return taps;
}

} // namespace

cv::Mat pyramidUp(const cv::Mat& coarse, cv::Size fineSize) {
    CV_Assert(coarse.type() == CV_32FC1);
    const std::vector<UpTaps> colTaps = upTaps(fineSize.width, coarse.cols);
    const std::vector<UpTaps> rowTaps = upTaps(fineSize.height, coarse.rows);
    cv::Mat horiz(coarse.rows, fineSize.width, CV_32F);
    for (int r = 0; r < coarse.rows; ++r) {
        const float* src = coarse.ptr<float>(r);
        float* dst = horiz.ptr<float>(r);
        for (int j = 0; j < fineSize.width; ++j) {
            const UpTaps& t = colTaps[static_cast<size_t>(j)];
            float s = 0.f;
            for (int n = 0; n < t.count; ++n)
                s += t.w[n] * src[t.first + n];
            dst[j] = s;
        }
    }
    cv::Mat out(fineSize, CV_32F);
    for (int i = 0; i < fineSize.height; ++i) {
        const UpTaps& t = rowTaps[static_cast<size_t>(i)];
        float* dst = out.ptr<float>(i);
        std::fill(dst, dst + fineSize.width, 0.f);
        for (int n = 0; n < t.count; ++n) {
            const float* src = horiz.ptr<float>(t.first + n);
            const float w = t.w[n];
            for (int j = 0; j < fineSize.width; ++j)
                dst[j] += w * src[j];
        }
    }
    return out;
}

std::vector<cv::Mat> gaussianPyramid(const cv::Mat& image, int levels) {
    std::vector<cv::Mat> g;
    g.reserve(static_cast<size_t>(levels));
    g.push_back(image);
    for (int k = 1; k < levels; ++k)
        g.push_back(pyramidDown(g.back()));
    return g;
}

std::vector<cv::Mat> laplacianPyramid(const cv::Mat& image, int levels) {
    std::vector<cv::Mat> g = gaussianPyramid(image, levels);
    for (size_t k = 0; k + 1 < g.size(); ++k) {
        cv::Mat detail; // a new matrix: level 0 is the caller's image
        cv::subtract(g[k], pyramidUp(g[k + 1], g[k].size()), detail);
        g[k] = detail;
    }
    return g;
}

cv::Mat collapsePyramid(std::vector<cv::Mat> levels) {
    if (levels.empty())
        return {};
    cv::Mat r = std::move(levels.back());
    for (size_t k = levels.size() - 1; k-- > 0;) {
        cv::Mat up = pyramidUp(r, levels[k].size());
        up += levels[k];
        r = std::move(up);
        levels[k].release();
    }
    return r;
}

} // namespace lumora
