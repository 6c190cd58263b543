#include "tonemap/RemapAccumulate.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12's AVX-512 header starts some intrinsics from a deliberately undefined vector and then warns about it
// where they are inlined; the warning is about the header, not about this code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define LUMORA_REMAP_AVX2 1
#endif

namespace lumora {

namespace {

// Detail curve inside sigmaR: u^alpha, faded in above the noise level when details are enhanced (alpha < 1).
inline float detailMagnitude(float d, const RemapSetup& s) {
    if (s.alpha == 1.f)
        return d; // sigmaR * (d / sigmaR)
    const float u = d / s.sigmaR;
    float v;
    if (s.alpha > 1.f) {
        v = std::pow(u, s.alpha);
    } else {
        float t = (d - s.noiseLevel) / s.noiseLevel;
        t = t < 0.f ? 0.f : (t > 1.f ? 1.f : t);
        const float tau = t * t * (t - 2.f) * (t - 2.f);
        v = (std::pow(u, s.alpha) - u) * tau + u;
    }
    return s.sigmaR * v;
}

inline float remapOffset(float value, const RemapSetup& s) {
    const float diff = value - s.g0;
    const float d = std::fabs(diff);
    const float mag = d <= s.sigmaR ? detailMagnitude(d, s) : (d - s.sigmaR) * s.beta + s.sigmaR;
    return diff > 0.f ? mag : (diff < 0.f ? -mag : 0.f);
}

float accumulateScalar(const float* src, std::ptrdiff_t stride, int rows, int cols, const WindowWeights& w,
                       const RemapSetup& s) {
    float total = 0.f;
    for (int i = 0; i < rows; ++i) {
        const float* row = src + i * stride;
        float accGauss = 0.f, accUp = 0.f;
        for (int j = 0; j < cols; ++j) {
            const float v = remapOffset(row[j], s);
            accGauss += w.gaussCols[j] * v;
            accUp += w.upCols[j] * v;
        }
        total += w.gaussRows[i] * accGauss - w.upRows[i] * accUp;
    }
    return total;
}

#ifdef LUMORA_REMAP_AVX2

#define LUMORA_AVX2 __attribute__((target("avx2,fma")))

// Modes of the detail curve: u (alpha 1), u^alpha (alpha > 1), u^alpha faded in above the noise level
// (alpha < 1).
enum class DetailMode { Linear, Power, Enhance };

// The remapping of eight samples, as offsets from g0. `Wide`: the curve's scales span more than one table of
// eight octaves.
template <DetailMode Mode, bool Wide> struct RemapAvx2 {
    __m256 g0, sigma, beta, noise, xScale;
    __m256 cubic[4], scale[3];

    LUMORA_AVX2 explicit RemapAvx2(const RemapSetup& s) {
        g0 = _mm256_set1_ps(s.g0);
        sigma = _mm256_set1_ps(s.sigmaR);
        beta = _mm256_set1_ps(s.beta);
        noise = _mm256_set1_ps(s.noiseLevel);
        if (Mode != DetailMode::Linear) {
            const DetailCurve& c = *s.curve;
            xScale = _mm256_set1_ps(c.xScale);
            for (int k = 0; k < 4; ++k)
                cubic[k] = _mm256_load_ps(c.cubic[k]);
            if (Wide) {
                for (int k = 0; k < 3; ++k)
                    scale[k] = _mm256_load_ps(c.scale + 8 * k);
            } else {
                // Indexed by the biased exponent's low three bits: octave e sits at (127 + e) mod 8.
                alignas(32) float rotated[8];
                for (int e = 0; e < 8; ++e)
                    rotated[(127 + e) % 8] = c.scale[e];
                scale[0] = _mm256_load_ps(rotated);
            }
        }
    }

    // sigma (d / sigma)^alpha for x = d * xScale >= 1: the octave picks the scale, the mantissa's top three
    // bits the cubic, and the remaining mantissa bits are its argument. (The permutes read the low three bits
    // of each index.)
    LUMORA_AVX2 inline __m256 curve(__m256 x) const {
        const __m256i bits = _mm256_castps_si256(x);
        const __m256i eighth = _mm256_srli_epi32(bits, 20);
        const __m256 t = _mm256_sub_ps(
            _mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(0x000FFFFF)),
                                                _mm256_set1_epi32(0x3F800000))),
            _mm256_set1_ps(1.0625f));
        const __m256 c0 = _mm256_permutevar8x32_ps(cubic[0], eighth);
        const __m256 c1 = _mm256_permutevar8x32_ps(cubic[1], eighth);
        const __m256 c2 = _mm256_permutevar8x32_ps(cubic[2], eighth);
        const __m256 c3 = _mm256_permutevar8x32_ps(cubic[3], eighth);
        const __m256 p = _mm256_fmadd_ps(_mm256_fmadd_ps(_mm256_fmadd_ps(c3, t, c2), t, c1), t, c0);
        __m256 k;
        if (Wide) {
            const __m256i octave = _mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(127));
            k = _mm256_permutevar8x32_ps(scale[0], octave);
            k = _mm256_blendv_ps(k, _mm256_permutevar8x32_ps(scale[1], octave),
                                 _mm256_castsi256_ps(_mm256_cmpgt_epi32(octave, _mm256_set1_epi32(7))));
            k = _mm256_blendv_ps(k, _mm256_permutevar8x32_ps(scale[2], octave),
                                 _mm256_castsi256_ps(_mm256_cmpgt_epi32(octave, _mm256_set1_epi32(15))));
        } else {
            k = _mm256_permutevar8x32_ps(scale[0], _mm256_srli_epi32(bits, 23));
        }
        return _mm256_mul_ps(k, p);
    }

    LUMORA_AVX2 inline __m256 operator()(__m256 v) const {
        const __m256 signBit = _mm256_set1_ps(-0.f);
        const __m256 one = _mm256_set1_ps(1.f);
        const __m256 diff = _mm256_sub_ps(v, g0);
        const __m256 sign = _mm256_and_ps(diff, signBit);
        const __m256 d = _mm256_andnot_ps(signBit, diff);
        const __m256 near = _mm256_cmp_ps(d, sigma, _CMP_LE_OQ);
        const __m256 far = _mm256_fmadd_ps(_mm256_sub_ps(d, sigma), beta, sigma);
        __m256 detail = d; // sigma * u with u = d / sigma
        if (Mode == DetailMode::Power) {
            // Below the first octave the curve is zero to float precision.
            const __m256 x = _mm256_mul_ps(d, xScale);
            detail = _mm256_and_ps(curve(x), _mm256_cmp_ps(x, one, _CMP_GE_OQ));
        } else if (Mode == DetailMode::Enhance) {
            // x = d / noise. Up to the noise level (x <= 1) details stay; up to twice it they fade in:
            // (sigma u^alpha - d) tau + d with t = x - 1.
            const __m256 x = _mm256_max_ps(_mm256_mul_ps(d, xScale), one);
            const __m256 t = _mm256_min_ps(_mm256_sub_ps(x, one), one);
            const __m256 tt = _mm256_mul_ps(t, _mm256_sub_ps(t, _mm256_set1_ps(2.f)));
            detail = _mm256_fmadd_ps(_mm256_sub_ps(curve(x), d), _mm256_mul_ps(tt, tt), d);
        }
        return _mm256_xor_ps(_mm256_blendv_ps(far, detail, near), sign);
    }
};

template <DetailMode Mode, bool Wide>
LUMORA_AVX2 float accumulateAvx2(const float* src, std::ptrdiff_t stride, int rows, int cols,
                                 const WindowWeights& w, const RemapSetup& s) {
    const RemapAvx2<Mode, Wide> remap(s);
    const __m256 zero = _mm256_setzero_ps();
    __m256 total = zero;
    int i = 0;
    // Two rows at a time: their independent chains of arithmetic overlap in the processor.
    for (; i + 1 < rows; i += 2) {
        const float* row0 = src + i * stride;
        const float* row1 = row0 + stride;
        __m256 g0acc = zero, u0acc = zero, g1acc = zero, u1acc = zero;
        for (int j = 0; j < cols; j += 8) {
            const __m256 a = remap(_mm256_loadu_ps(row0 + j));
            const __m256 b = remap(_mm256_loadu_ps(row1 + j));
            const __m256 kg = _mm256_loadu_ps(w.gaussCols + j);
            const __m256 ku = _mm256_loadu_ps(w.upCols + j);
            g0acc = _mm256_fmadd_ps(kg, a, g0acc);
            u0acc = _mm256_fmadd_ps(ku, a, u0acc);
            g1acc = _mm256_fmadd_ps(kg, b, g1acc);
            u1acc = _mm256_fmadd_ps(ku, b, u1acc);
        }
        total = _mm256_fmadd_ps(_mm256_set1_ps(w.gaussRows[i]), g0acc, total);
        total = _mm256_fnmadd_ps(_mm256_set1_ps(w.upRows[i]), u0acc, total);
        total = _mm256_fmadd_ps(_mm256_set1_ps(w.gaussRows[i + 1]), g1acc, total);
        total = _mm256_fnmadd_ps(_mm256_set1_ps(w.upRows[i + 1]), u1acc, total);
    }
    for (; i < rows; ++i) {
        const float* row = src + i * stride;
        __m256 gacc = zero, uacc = zero;
        for (int j = 0; j < cols; j += 8) {
            const __m256 a = remap(_mm256_loadu_ps(row + j));
            gacc = _mm256_fmadd_ps(_mm256_loadu_ps(w.gaussCols + j), a, gacc);
            uacc = _mm256_fmadd_ps(_mm256_loadu_ps(w.upCols + j), a, uacc);
        }
        total = _mm256_fmadd_ps(_mm256_set1_ps(w.gaussRows[i]), gacc, total);
        total = _mm256_fnmadd_ps(_mm256_set1_ps(w.upRows[i]), uacc, total);
    }
    const __m128 lo = _mm256_castps256_ps128(total);
    const __m128 hi = _mm256_extractf128_ps(total, 1);
    __m128 v = _mm_add_ps(lo, hi);
    v = _mm_add_ps(v, _mm_movehl_ps(v, v));
    v = _mm_add_ss(v, _mm_shuffle_ps(v, v, 0x55));
    return _mm_cvtss_f32(v);
}

#define LUMORA_AVX512 __attribute__((target("avx512f,avx512dq,avx2,fma")))

// The same remapping on sixteen samples, lane for lane the arithmetic of RemapAvx2. The tables hold every
// octave at once: a two-table permute reads 32 entries, indexed by the biased exponent's low five bits
// (octave e at (127 + e) mod 32), and each eighth's cubic is repeated in both halves of its 16 entries.
template <DetailMode Mode> struct RemapAvx512 {
    __m512 g0, sigma, beta, xScale;
    __m512 cubic[4], scaleLo, scaleHi;

    LUMORA_AVX512 explicit RemapAvx512(const RemapSetup& s) {
        g0 = _mm512_set1_ps(s.g0);
        sigma = _mm512_set1_ps(s.sigmaR);
        beta = _mm512_set1_ps(s.beta);
        if (Mode != DetailMode::Linear) {
            const DetailCurve& c = *s.curve;
            xScale = _mm512_set1_ps(c.xScale);
            alignas(64) float table[32] = {};
            for (int k = 0; k < 4; ++k) {
                for (int j = 0; j < 16; ++j)
                    table[j] = c.cubic[k][j % 8];
                cubic[k] = _mm512_load_ps(table);
            }
            for (int e = 0; e < DetailCurve::kOctaves; ++e)
                table[(127 + e) % 32] = c.scale[e];
            scaleLo = _mm512_load_ps(table);
            scaleHi = _mm512_load_ps(table + 16);
        }
    }

    LUMORA_AVX512 inline __m512 curve(__m512 x) const {
        const __m512i bits = _mm512_castps_si512(x);
        const __m512i eighth = _mm512_srli_epi32(bits, 20);
        const __m512 t = _mm512_sub_ps(
            _mm512_castsi512_ps(_mm512_or_si512(_mm512_and_si512(bits, _mm512_set1_epi32(0x000FFFFF)),
                                                _mm512_set1_epi32(0x3F800000))),
            _mm512_set1_ps(1.0625f));
        const __m512 c0 = _mm512_permutexvar_ps(eighth, cubic[0]);
        const __m512 c1 = _mm512_permutexvar_ps(eighth, cubic[1]);
        const __m512 c2 = _mm512_permutexvar_ps(eighth, cubic[2]);
        const __m512 c3 = _mm512_permutexvar_ps(eighth, cubic[3]);
        const __m512 p = _mm512_fmadd_ps(_mm512_fmadd_ps(_mm512_fmadd_ps(c3, t, c2), t, c1), t, c0);
        const __m512 k = _mm512_permutex2var_ps(scaleLo, _mm512_srli_epi32(bits, 23), scaleHi);
        return _mm512_mul_ps(k, p);
    }

    LUMORA_AVX512 inline __m512 operator()(__m512 v) const {
        const __m512 one = _mm512_set1_ps(1.f);
        const __m512 diff = _mm512_sub_ps(v, g0);
        const __m512 sign = _mm512_and_ps(diff, _mm512_set1_ps(-0.f));
        const __m512 d = _mm512_abs_ps(diff);
        const __mmask16 near = _mm512_cmp_ps_mask(d, sigma, _CMP_LE_OQ);
        const __m512 far = _mm512_fmadd_ps(_mm512_sub_ps(d, sigma), beta, sigma);
        __m512 detail = d;
        if (Mode == DetailMode::Power) {
            const __m512 x = _mm512_mul_ps(d, xScale);
            detail = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(x, one, _CMP_GE_OQ), curve(x));
        } else if (Mode == DetailMode::Enhance) {
            const __m512 x = _mm512_max_ps(_mm512_mul_ps(d, xScale), one);
            const __m512 t = _mm512_min_ps(_mm512_sub_ps(x, one), one);
            const __m512 tt = _mm512_mul_ps(t, _mm512_sub_ps(t, _mm512_set1_ps(2.f)));
            detail = _mm512_fmadd_ps(_mm512_sub_ps(curve(x), d), _mm512_mul_ps(tt, tt), d);
        }
        return _mm512_xor_ps(_mm512_mask_blend_ps(near, far, detail), sign);
    }
};

// Windows are whole blocks of eight samples; a block of eight left over at a row's end is read with the
// upper lanes masked off (their weights are zero).
template <DetailMode Mode>
LUMORA_AVX512 float accumulateAvx512(const float* src, std::ptrdiff_t stride, int rows, int cols,
                                     const WindowWeights& w, const RemapSetup& s) {
    const RemapAvx512<Mode> remap(s);
    const __m512 zero = _mm512_setzero_ps();
    const int whole = cols & ~15;
    const __mmask16 tail = cols > whole ? __mmask16(0x00FF) : __mmask16(0);
    __m512 total = zero;
    int i = 0;
    for (; i + 1 < rows; i += 2) {
        const float* row0 = src + i * stride;
        const float* row1 = row0 + stride;
        __m512 g0acc = zero, u0acc = zero, g1acc = zero, u1acc = zero;
        for (int j = 0; j < whole; j += 16) {
            const __m512 a = remap(_mm512_loadu_ps(row0 + j));
            const __m512 b = remap(_mm512_loadu_ps(row1 + j));
            const __m512 kg = _mm512_loadu_ps(w.gaussCols + j);
            const __m512 ku = _mm512_loadu_ps(w.upCols + j);
            g0acc = _mm512_fmadd_ps(kg, a, g0acc);
            u0acc = _mm512_fmadd_ps(ku, a, u0acc);
            g1acc = _mm512_fmadd_ps(kg, b, g1acc);
            u1acc = _mm512_fmadd_ps(ku, b, u1acc);
        }
        if (tail) {
            const __m512 a = remap(_mm512_maskz_loadu_ps(tail, row0 + whole));
            const __m512 b = remap(_mm512_maskz_loadu_ps(tail, row1 + whole));
            const __m512 kg = _mm512_maskz_loadu_ps(tail, w.gaussCols + whole);
            const __m512 ku = _mm512_maskz_loadu_ps(tail, w.upCols + whole);
            g0acc = _mm512_fmadd_ps(kg, a, g0acc);
            u0acc = _mm512_fmadd_ps(ku, a, u0acc);
            g1acc = _mm512_fmadd_ps(kg, b, g1acc);
            u1acc = _mm512_fmadd_ps(ku, b, u1acc);
        }
        total = _mm512_fmadd_ps(_mm512_set1_ps(w.gaussRows[i]), g0acc, total);
        total = _mm512_fnmadd_ps(_mm512_set1_ps(w.upRows[i]), u0acc, total);
        total = _mm512_fmadd_ps(_mm512_set1_ps(w.gaussRows[i + 1]), g1acc, total);
        total = _mm512_fnmadd_ps(_mm512_set1_ps(w.upRows[i + 1]), u1acc, total);
    }
    for (; i < rows; ++i) {
        const float* row = src + i * stride;
        __m512 gacc = zero, uacc = zero;
        for (int j = 0; j < whole; j += 16) {
            const __m512 a = remap(_mm512_loadu_ps(row + j));
            gacc = _mm512_fmadd_ps(_mm512_loadu_ps(w.gaussCols + j), a, gacc);
            uacc = _mm512_fmadd_ps(_mm512_loadu_ps(w.upCols + j), a, uacc);
        }
        if (tail) {
            const __m512 a = remap(_mm512_maskz_loadu_ps(tail, row + whole));
            gacc = _mm512_fmadd_ps(_mm512_maskz_loadu_ps(tail, w.gaussCols + whole), a, gacc);
            uacc = _mm512_fmadd_ps(_mm512_maskz_loadu_ps(tail, w.upCols + whole), a, uacc);
        }
        total = _mm512_fmadd_ps(_mm512_set1_ps(w.gaussRows[i]), gacc, total);
        total = _mm512_fnmadd_ps(_mm512_set1_ps(w.upRows[i]), uacc, total);
    }
    return _mm512_reduce_add_ps(total);
}

bool detectAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
}

bool detectAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

#endif

} // namespace

DetailCurve makeDetailCurve(const RemapSetup& s) {
    DetailCurve c;
    const double alpha = s.alpha, sigma = s.sigmaR;
    const bool enhance = s.alpha < 1.f;
    c.xScale = enhance ? 1.f / s.noiseLevel : static_cast<float>(std::ldexp(1.0, 23) / sigma);
    if (enhance) {
        // The detail stops at sigmaR: x = sigmaR / noise is the last octave's.
        const double top = sigma * c.xScale;
        c.octaves = top < 2.0 ? 1 : std::min(DetailCurve::kOctaves, static_cast<int>(std::log2(top)) + 1);
    }
    for (int e = 0; e < DetailCurve::kOctaves; ++e)
        c.scale[e] = static_cast<float>(sigma * std::pow(std::ldexp(1.0, e) / c.xScale / sigma, alpha));

    // Each eighth [1 + j/8, 1 + (j+1)/8) of the mantissa range: the cubic through m^alpha at the four
    // Chebyshev nodes, in t = m - centre, t in [-1/16, 1/16).
    constexpr double kHalf = 1.0 / 16.0, kPi = 3.14159265358979323846;
    for (int j = 0; j < 8; ++j) {
        const double centre = 1.0 + (j + 0.5) / 8.0;
        double a[4][5]; // Vandermonde rows with the value appended
        for (int k = 0; k < 4; ++k) {
            const double t = kHalf * std::cos((2 * k + 1) * kPi / 8.0);
            a[k][0] = 1.0, a[k][1] = t, a[k][2] = t * t, a[k][3] = t * t * t;
            a[k][4] = std::pow(centre + t, alpha);
        }
        for (int col = 0; col < 4; ++col) // Gauss-Jordan; the nodes are distinct, the pivots never vanish
            for (int row = 0; row < 4; ++row)
                if (row != col) {
                    const double f = a[row][col] / a[col][col];
                    for (int k = col; k < 5; ++k)
                        a[row][k] -= f * a[col][k];
                }
        for (int k = 0; k < 4; ++k)
            c.cubic[k][j] = static_cast<float>(a[k][4] / a[k][k]);
        for (int i = 0; i <= 64; ++i) {
            const float t = static_cast<float>(kHalf * (2.0 * i / 64 - 1.0));
            const float p = ((c.cubic[3][j] * t + c.cubic[2][j]) * t + c.cubic[1][j]) * t + c.cubic[0][j];
            const double exact = std::pow(centre + static_cast<double>(t), alpha);
            c.worstError = std::max(c.worstError, std::fabs(p - exact) / exact);
        }
    }
    return c;
}

float remapSample(float value, const RemapSetup& s) {
    return s.g0 + remapOffset(value, s);
}

bool remapSimdAvailable() {
#ifdef LUMORA_REMAP_AVX2
    static const bool available = detectAvx2();
    return available;
#else
    return false;
#endif
}

bool remapWideSimdAvailable() {
#ifdef LUMORA_REMAP_AVX2
    static const bool available = detectAvx512();
    return available;
#else
    return false;
#endif
}

float remapAccumulate(const float* src, std::ptrdiff_t stride, int rows, int cols, const WindowWeights& w,
                      const RemapSetup& s, bool allowSimd, bool allowWide) {
#ifdef LUMORA_REMAP_AVX2
    if (allowSimd && allowWide && remapWideSimdAvailable()) {
        if (s.alpha == 1.f)
            return accumulateAvx512<DetailMode::Linear>(src, stride, rows, cols, w, s);
        if (s.curve)
            return s.alpha > 1.f ? accumulateAvx512<DetailMode::Power>(src, stride, rows, cols, w, s)
                                 : accumulateAvx512<DetailMode::Enhance>(src, stride, rows, cols, w, s);
    }
    if (allowSimd && remapSimdAvailable()) {
        if (s.alpha == 1.f)
            return accumulateAvx2<DetailMode::Linear, false>(src, stride, rows, cols, w, s);
        if (s.curve) {
            const bool wide = s.curve->octaves > 8;
            if (s.alpha > 1.f)
                return wide ? accumulateAvx2<DetailMode::Power, true>(src, stride, rows, cols, w, s)
                            : accumulateAvx2<DetailMode::Power, false>(src, stride, rows, cols, w, s);
            return wide ? accumulateAvx2<DetailMode::Enhance, true>(src, stride, rows, cols, w, s)
                        : accumulateAvx2<DetailMode::Enhance, false>(src, stride, rows, cols, w, s);
        }
    }
#endif
    (void)allowSimd;
    (void)allowWide;
    return accumulateScalar(src, stride, rows, cols, w, s);
}

} // namespace lumora
