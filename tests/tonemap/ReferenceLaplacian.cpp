#include "ReferenceLaplacian.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumora::test {

namespace {

const double kTaps[5] = {0.05, 0.25, 0.4, 0.25, 0.05};

double tap(int d) {
    return (d < -2 || d > 2) ? 0.0 : kTaps[d + 2];
}

// 5 x 5 filtering with samples outside the image counting as 0.
Plane filterZero(const Plane& in) {
    Plane out(in.rows, in.cols, 0.0);
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.cols; ++x) {
            double s = 0.0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int yy = y + dy, xx = x + dx;
                    if (yy >= 0 && yy < in.rows && xx >= 0 && xx < in.cols)
                        s += tap(dy) * tap(dx) * in(yy, xx);
                }
            out(y, x) = s;
        }
    return out;
}

Plane down(const Plane& in) {
    const Plane f = filterZero(in);
    Plane out((in.rows + 1) / 2, (in.cols + 1) / 2);
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            out(y, x) = f(2 * y, 2 * x);
    return out;
}

Plane up(const Plane& coarse, int rows, int cols) {
    Plane spread(rows, cols, 0.0), mask(rows, cols, 0.0);
    for (int y = 0; y < coarse.rows; ++y)
        for (int x = 0; x < coarse.cols; ++x) {
            spread(2 * y, 2 * x) = coarse(y, x);
            mask(2 * y, 2 * x) = 1.0;
        }
    const Plane num = filterZero(spread), den = filterZero(mask);
    Plane out(rows, cols);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            out(y, x) = num(y, x) / den(y, x);
    return out;
}

int levelCount(int rows, int cols) {
    int n = 1;
    for (int m = std::min(rows, cols); m > 1; m = (m + 1) / 2)
        ++n;
    return n;
}

} // namespace

double referenceRemap(double i, double g0, const ReferenceParams& p) {
    const double d = std::fabs(i - g0);
    const double s = i > g0 ? 1.0 : (i < g0 ? -1.0 : 0.0);
    if (d > p.sigmaR)
        return g0 + s * ((d - p.sigmaR) * p.beta + p.sigmaR);
    const double u = d / p.sigmaR;
    double v;
    if (p.alpha >= 1.0) {
        v = std::pow(u, p.alpha);
    } else {
        const double t = std::clamp((d - p.noiseLevel) / p.noiseLevel, 0.0, 1.0);
        const double tau = t * t * (t - 2.0) * (t - 2.0);
        v = (std::pow(u, p.alpha) - u) * tau + u;
    }
    return g0 + s * p.sigmaR * v;
}

std::vector<Plane> referenceGaussian(const Plane& image) {
    std::vector<Plane> g{image.clone()};
    const int n = levelCount(image.rows, image.cols);
    for (int k = 1; k < n; ++k)
        g.push_back(down(g.back()));
    return g;
}

std::vector<Plane> referenceLaplacian(const Plane& image) {
    std::vector<Plane> g = referenceGaussian(image);
    for (size_t k = 0; k + 1 < g.size(); ++k)
        g[k] = g[k] - up(g[k + 1], g[k].rows, g[k].cols);
    return g;
}

Plane referenceCollapse(const std::vector<Plane>& lap) {
    Plane r = lap.back().clone();
    for (size_t k = lap.size() - 1; k-- > 0;)
        r = up(r, lap[k].rows, lap[k].cols) + lap[k];
    return r;
}

Plane referenceLapFilter(const Plane& image, const ReferenceParams& p) {
    const std::vector<Plane> g = referenceGaussian(image);
    std::vector<Plane> out = referenceLaplacian(image);
    for (size_t l = 0; l + 1 < g.size(); ++l)
        for (int y = 0; y < g[l].rows; ++y)
            for (int x = 0; x < g[l].cols; ++x) {
                const double g0 = g[l](y, x);
                Plane remapped(image.rows, image.cols);
                for (int yy = 0; yy < image.rows; ++yy)
                    for (int xx = 0; xx < image.cols; ++xx)
                        remapped(yy, xx) = referenceRemap(image(yy, xx), g0, p);
                out[l](y, x) = referenceLaplacian(remapped)[l](y, x);
            }
    out.back() = g.back();
    return referenceCollapse(out);
}

double referencePercentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const double n = static_cast<double>(v.size());
    const double first = 100.0 * 0.5 / n, last = 100.0 * (n - 0.5) / n;
    if (p <= first)
        return v.front();
    if (p >= last)
        return v.back();
    for (size_t i = 0; i + 1 < v.size(); ++i) {
        const double a = 100.0 * (i + 0.5) / n, b = 100.0 * (i + 1.5) / n;
        if (p >= a && p <= b)
            return v[i] + (v[i + 1] - v[i]) * (p - a) / (b - a);
    }
    return v.back();
}

cv::Mat referenceToneMap(const cv::Mat& bgr, double alpha, double beta) {
    const double eps = std::numeric_limits<float>::epsilon();
    const int cn = bgr.channels();
    Plane lum(bgr.rows, bgr.cols);
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x) {
            const float* p = bgr.ptr<float>(y) + x * cn;
            lum(y, x) = cn == 1 ? p[0] : (20.0 * p[2] + 40.0 * p[1] + p[0]) / 61.0;
        }
    Plane r;
    if (alpha == 1.0 && beta == 1.0) {
        r = lum.clone();
    } else {
        Plane logLum(lum.rows, lum.cols);
        for (int y = 0; y < lum.rows; ++y)
            for (int x = 0; x < lum.cols; ++x)
                logLum(y, x) = std::log(lum(y, x) + eps);
        ReferenceParams rp{alpha, beta, std::log(2.5), 0.01};
        r = referenceLapFilter(logLum, rp);
        for (int y = 0; y < r.rows; ++y)
            for (int x = 0; x < r.cols; ++x)
                r(y, x) = std::exp(r(y, x)) - eps;
    }
    const bool fitted = beta <= 1.0;
    if (fitted) {
        std::vector<double> values(r.begin(), r.end());
        const double hi = referencePercentile(values, 99.5);
        const double lo = std::max(referencePercentile(values, 0.5), eps);
        const double e = hi > lo ? std::log(100.0) / std::log(hi / lo) : 1.0;
        for (double& v : r)
            v = std::pow(std::max(v / hi, 0.0), e);
    }
    cv::Mat out(bgr.size(), CV_MAKETYPE(CV_32F, cn == 1 ? 1 : 3));
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x) {
            const float* p = bgr.ptr<float>(y) + x * cn;
            float* o = out.ptr<float>(y) + x * (cn == 1 ? 1 : 3);
            for (int c = 0; c < (cn == 1 ? 1 : 3); ++c) {
                double v = cn == 1 ? r(y, x) : (lum(y, x) != 0.0 ? p[c] / lum(y, x) * r(y, x) : 0.0);
                v = beta > 1.0 ? std::max(v, 0.0) : std::clamp(v, 0.0, 1.0);
                if (fitted)
                    v = std::pow(v, 1.0 / 2.2);
                o[c] = static_cast<float>(v);
            }
        }
    return out;
}

} // namespace lumora::test
