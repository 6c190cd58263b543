#include "tonemap/ColorModifications.h"

#include "app/Parallel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace lumora {

ColorModSettings colorModSettings(const ExposureTerms& exposure, float contrast, float hue, float saturation,
                                  float vibrance) {
    ColorModSettings s;
    s.hue = hue;
    s.saturation = saturation;
    s.vibrance = vibrance;
    s.blackLevel = exposure.blackLevel;
    s.toeWidth = exposure.toeWidth;
    s.exposureScale = exposure.exposureScale;
    s.toeSlope = exposure.toeSlope;
    s.contrast = contrast;
    s.exposureHalf = exposure.exposureHalf;
    return s;
}

ContrastTerms contrastTermsFor(float c) {
    ContrastTerms t;
    if (c >= 1.f) {
        t.sqrtMode = true;
        t.linearCoef = c * c;
        t.sqrtCoef = (c - c * c) * 1.6f;
        t.offset = 0.8f * 0.8f * (1.f - 2.f * c + c * c);
    } else {
        t.sqrtMode = false;
        t.linearCoef = c;
        t.sqrtCoef = 0.f;
        t.offset = 0.75f - 0.75f * c;
    }
    return t;
}

namespace {

// The per-sample pass gets an extra AVX2 build, chosen at load time, on processors that have it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define LUMORA_COLOUR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LUMORA_COLOUR_CLONES
#endif

struct PixelRecipe {
    ColorModSettings s;
    ContrastTerms contrast;
    const Spline* curve = nullptr;
    bool colourNeutral = false; // hue 0, saturation 1, vibrance 0: the HSV round trip can be skipped
};

// Hue, saturation and vibrance through HSV on every pixel (b, g, r) of a row. Every branch of the conversion
// is written as a selection, so the compiler turns the loop into vector code.
LUMORA_COLOUR_CLONES void adjustHsv(float* bgr, int n, const ColorModSettings& s) {
    const float hueShift = s.hue * 6.f, vibrance = s.vibrance, saturation = s.saturation;
    for (int x = 0; x < n; ++x) {
        const float b = bgr[3 * x], g = bgr[3 * x + 1], r = bgr[3 * x + 2];
        const float v = std::max(r, std::max(g, b));
        const float mn = std::min(r, std::min(g, b));
        const float d = v - mn;
        const bool chroma = (d > 0.f) & (v > 0.f);
        const float dd = chroma ? d : 1.f;
        const float sat = chroma ? d / v : 0.f;
        float hr = (g - b) / dd;
        hr = hr < 0.f ? hr + 6.f : hr;
        const float hg = (b - r) / dd + 2.f;
        const float hb = (r - g) / dd + 4.f;
        float h = chroma ? (r == v ? hr : (g == v ? hg : hb)) : 0.f;
        h += hueShift;
        h = h >= 6.f ? h - 6.f : (h < 0.f ? h + 6.f : h);

        float t = std::sqrt(std::max(sat * sat + vibrance, 0.f)) + saturation - sat;
        t = t < 0.f ? 0.f : (t > 1.f ? (1.f - sat) * (t - 1.f) + 1.f : t);
        const float s2 = t * sat;

        int i = static_cast<int>(h);
        i = i > 5 ? 0 : i; // h rounded up to 6 by float arithmetic is a full turn
        const float f = h - static_cast<float>(i);
        const float p = (1.f - s2) * v;
        const float q = (1.f - f * s2) * v;
        const float u = (1.f - (1.f - f) * s2) * v;
        const bool grey = s2 <= 0.f;
        const float r2 = (i == 0) | (i == 5) ? v : (i == 1 ? q : (i == 4 ? u : p));
        const float g2 = (i == 1) | (i == 2) ? v : (i == 0 ? u : (i == 3 ? q : p));
        const float b2 = (i == 3) | (i == 4) ? v : (i == 2 ? u : (i == 5 ? q : p));
        bgr[3 * x] = grey ? v : b2;
        bgr[3 * x + 1] = grey ? v : g2;
        bgr[3 * x + 2] = grey ? v : r2;
    }
}

// Exposure with its quadratic black toe, then contrast, clamped to [0, 1], on every sample of a row. Written
// without branches so that the compiler turns it into vector code.
template <bool SqrtMode>
LUMORA_COLOUR_CLONES void exposeAndContrast(float* v, int n, const ColorModSettings& s,
                                            const ContrastTerms& c) {
    // Locals, so the compiler knows that writing the samples changes none of them.
    const float black = s.blackLevel, slope = s.toeSlope, scale = s.exposureScale;
    const float lo = black - s.toeWidth, hi = black + s.toeWidth;
    const float sq = c.sqrtCoef, lin = c.linearCoef, offset = c.offset;
    for (int k = 0; k < n; ++k) {
        const float x = v[k];
        const float toe = slope * (x - lo) * (x - lo);
        float y = x <= lo ? 0.f : (x < hi ? toe : (x - black) * scale);
        y = SqrtMode ? sq * std::sqrt(y) + lin * y + offset : lin * y + offset;
        v[k] = std::min(std::max(y, 0.f), 1.f);
    }
}

// The tone curve acts on squared lightness; channels keep their ratios to the lightness.
inline void applyCurve(float& b, float& g, float& r, const Spline& curve) {
    const float l = (b + 40.f * g + 20.f * r) / 61.f;
    if (l == 0.f) {
        b = g = r = 0.f;
        return;
    }
    const float k = std::sqrt(std::max(curve.lookup(l * l), 0.f)) / l;
    b = std::clamp(k * b, 0.f, 1.f);
    g = std::clamp(k * g, 0.f, 1.f);
    r = std::clamp(k * r, 0.f, 1.f);
}

void processRow(const cv::Mat& in, cv::Mat& out, int y, const PixelRecipe& rc) {
    const int cn = in.channels();
    const float* src = in.ptr<float>(y);
    float* dst = out.ptr<float>(y);
    if (cn == 1) {
        for (int x = 0; x < in.cols; ++x)
            dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x]; // one channel: V is the value, S is 0
    } else {
        std::copy(src, src + 3 * in.cols, dst);
        if (!rc.colourNeutral)
            adjustHsv(dst, in.cols, rc.s);
    }
    if (rc.contrast.sqrtMode)
        exposeAndContrast<true>(dst, 3 * in.cols, rc.s, rc.contrast);
    else
        exposeAndContrast<false>(dst, 3 * in.cols, rc.s, rc.contrast);
    for (int x = 0; x < in.cols; ++x)
        applyCurve(dst[3 * x], dst[3 * x + 1], dst[3 * x + 2], *rc.curve);
}

} // namespace

cv::Mat applyColorModifications(Spline& curve, const cv::Mat& input, const ColorModSettings& settings,
                                int threads) {
    if (input.empty())
        return {};
    cv::Mat in;
    if (input.depth() == CV_32F)
        in = input;
    else
        input.convertTo(in, CV_32F);
    if (in.channels() == 4)
        cv::cvtColor(in, in, cv::COLOR_BGRA2BGR);
    else if (in.channels() != 1 && in.channels() != 3)
        return {};

    // Brings the table up to date once, so the threads below only read it.
    curve.evaluate(0.f);

    PixelRecipe rc;
    rc.s = settings;
    rc.contrast = contrastTermsFor(settings.contrast);
    rc.curve = &curve;
    // With these values the HSV round trip returns each pixel unchanged (up to rounding), so it is skipped.
    rc.colourNeutral = settings.hue == 0.f && settings.saturation == 1.f && settings.vibrance == 0.f;

    cv::Mat out(in.size(), CV_32FC3);
    const int n = threads > 0 ? threads : workerCount(WorkerUse::Interactive);
    parallelInterleaved(std::min(n, in.rows), "parallelComputeLightImage", [&](int first, int step) {
        for (int y = first; y < in.rows; y += step)
            processRow(in, out, y, rc);
    });
    return out;
}

} // namespace lumora
