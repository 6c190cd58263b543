#include "tonemap/RemapAccumulate.h"

#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
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

// Natural logarithm of positive normal floats: mantissa in [sqrt(1/2), sqrt(2)), degree-9 polynomial
// (Cephes' single-precision coefficients), exponent added back in two parts of ln 2.
LUMORA_AVX2 inline __m256 logPositive(__m256 x) {
    const __m256i bits = _mm256_castps_si256(x);
    __m256 e = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(126)));
    __m256 m = _mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(0x007fffff)),
                                                   _mm256_set1_epi32(0x3f000000)));
    const __m256 small = _mm256_cmp_ps(m, _mm256_set1_ps(0.707106781186547524f), _CMP_LT_OQ);
    const __m256 extra = _mm256_and_ps(m, small);
    m = _mm256_sub_ps(m, _mm256_set1_ps(1.f));
    e = _mm256_sub_ps(e, _mm256_and_ps(_mm256_set1_ps(1.f), small));
    m = _mm256_add_ps(m, extra);
    // The degree-8 polynomial in Estrin's form: short dependency chains keep the vector units busy.
    const __m256 z = _mm256_mul_ps(m, m);
    const __m256 z4 = _mm256_mul_ps(z, z);
    const __m256 p01 =
        _mm256_fmadd_ps(_mm256_set1_ps(-2.4999993993E-1f), m, _mm256_set1_ps(3.3333331174E-1f));
    const __m256 p23 =
        _mm256_fmadd_ps(_mm256_set1_ps(-1.6668057665E-1f), m, _mm256_set1_ps(2.0000714765E-1f));
    const __m256 p45 =
        _mm256_fmadd_ps(_mm256_set1_ps(-1.2420140846E-1f), m, _mm256_set1_ps(1.4249322787E-1f));
    const __m256 p67 =
        _mm256_fmadd_ps(_mm256_set1_ps(-1.1514610310E-1f), m, _mm256_set1_ps(1.1676998740E-1f));
    const __m256 p03 = _mm256_fmadd_ps(p23, z, p01);
    const __m256 p47 = _mm256_fmadd_ps(p67, z, p45);
    const __m256 p8 = _mm256_mul_ps(_mm256_set1_ps(7.0376836292E-2f), z4);
    __m256 y = _mm256_fmadd_ps(_mm256_add_ps(p8, p47), z4, p03);
    y = _mm256_mul_ps(_mm256_mul_ps(y, m), z);
    y = _mm256_fmadd_ps(e, _mm256_set1_ps(-2.12194440e-4f), y);
    y = _mm256_fnmadd_ps(z, _mm256_set1_ps(0.5f), y);
    return _mm256_fmadd_ps(e, _mm256_set1_ps(0.693359375f), _mm256_add_ps(m, y));
}

// e^x: reduction by multiples of ln 2 (in two parts), degree-6 polynomial, exponent put back by bits.
LUMORA_AVX2 inline __m256 expClamped(__m256 x) {
    x = _mm256_min_ps(_mm256_max_ps(x, _mm256_set1_ps(-87.3365448f)), _mm256_set1_ps(88.3762626647949f));
    const __m256 n =
        _mm256_floor_ps(_mm256_fmadd_ps(x, _mm256_set1_ps(1.44269504088896341f), _mm256_set1_ps(0.5f)));
    x = _mm256_fnmadd_ps(n, _mm256_set1_ps(0.693359375f), x);
    x = _mm256_fnmadd_ps(n, _mm256_set1_ps(-2.12194440e-4f), x);
    const __m256 z = _mm256_mul_ps(x, x);
    const __m256 q01 = _mm256_fmadd_ps(_mm256_set1_ps(1.6666665459E-1f), x, _mm256_set1_ps(5.0000001201E-1f));
    const __m256 q23 = _mm256_fmadd_ps(_mm256_set1_ps(8.3334519073E-3f), x, _mm256_set1_ps(4.1665795894E-2f));
    const __m256 q45 = _mm256_fmadd_ps(_mm256_set1_ps(1.9875691500E-4f), x, _mm256_set1_ps(1.3981999507E-3f));
    __m256 y = _mm256_fmadd_ps(_mm256_fmadd_ps(q45, z, q23), z, q01);
    y = _mm256_add_ps(_mm256_fmadd_ps(y, z, x), _mm256_set1_ps(1.f));
    const __m256i pow2n =
        _mm256_slli_epi32(_mm256_add_epi32(_mm256_cvttps_epi32(n), _mm256_set1_epi32(127)), 23);
    return _mm256_mul_ps(y, _mm256_castsi256_ps(pow2n));
}

// Modes of the detail curve: u (alpha 1), u^alpha (alpha > 1), u^alpha faded in above the noise level
// (alpha < 1), and the same with alpha exactly 0.5, where the power is a square root.
enum class DetailMode { Linear, Power, Enhance, EnhanceRoot };

// The remapping of eight samples, as offsets from g0.
template <DetailMode Mode> struct RemapAvx2 {
    __m256 g0, sigma, beta, alpha, logScale, noise, twoNoise, invNoise;

    LUMORA_AVX2 explicit RemapAvx2(const RemapSetup& s) {
        g0 = _mm256_set1_ps(s.g0);
        sigma = _mm256_set1_ps(s.sigmaR);
        beta = _mm256_set1_ps(s.beta);
        alpha = _mm256_set1_ps(s.alpha);
        // sigma * (d / sigma)^alpha = exp(alpha ln d + (1 - alpha) ln sigma): one logarithm, one exponential.
        logScale = _mm256_set1_ps((1.f - s.alpha) * std::log(s.sigmaR));
        noise = _mm256_set1_ps(s.noiseLevel);
        twoNoise = _mm256_set1_ps(2.f * s.noiseLevel);
        invNoise = _mm256_set1_ps(1.f / s.noiseLevel);
    }

    LUMORA_AVX2 inline __m256 operator()(__m256 v) const {
        const __m256 signBit = _mm256_set1_ps(-0.f);
        const __m256 diff = _mm256_sub_ps(v, g0);
        const __m256 sign = _mm256_and_ps(diff, signBit);
        const __m256 d = _mm256_andnot_ps(signBit, diff);
        const __m256 near = _mm256_cmp_ps(d, sigma, _CMP_LE_OQ);
        const __m256 far = _mm256_fmadd_ps(_mm256_sub_ps(d, sigma), beta, sigma);
        __m256 detail = d; // sigma * u with u = d / sigma; also every lane below the noise level
        if (Mode != DetailMode::Linear) {
            // Lanes that need the power: inside sigmaR and (when enhancing) above the noise level.
            const __m256 busy =
                Mode == DetailMode::Power ? near : _mm256_and_ps(near, _mm256_cmp_ps(d, noise, _CMP_GT_OQ));
            if (_mm256_movemask_ps(busy) != 0) {
                __m256 powered; // sigma * u^alpha
                if (Mode == DetailMode::EnhanceRoot)
                    powered = _mm256_sqrt_ps(_mm256_mul_ps(sigma, d));
                else
                    powered = expClamped(_mm256_fmadd_ps(
                        alpha, logPositive(_mm256_max_ps(d, _mm256_set1_ps(1.17549435e-38f))), logScale));
                detail = powered;
                // Between the noise level and twice it the detail fades in: (sigma u^alpha - d) tau + d.
                if (Mode != DetailMode::Power) {
                    __m256 t = _mm256_mul_ps(_mm256_sub_ps(d, noise), invNoise);
                    t = _mm256_min_ps(_mm256_max_ps(t, _mm256_setzero_ps()), _mm256_set1_ps(1.f));
                    const __m256 tt = _mm256_mul_ps(t, _mm256_sub_ps(t, _mm256_set1_ps(2.f)));
                    detail = _mm256_fmadd_ps(_mm256_sub_ps(powered, d), _mm256_mul_ps(tt, tt), d);
                }
            }
        }
        return _mm256_xor_ps(_mm256_blendv_ps(far, detail, near), sign);
    }
};

template <DetailMode Mode>
LUMORA_AVX2 float accumulateAvx2(const float* src, std::ptrdiff_t stride, int rows, int cols,
                                 const WindowWeights& w, const RemapSetup& s) {
    const RemapAvx2<Mode> remap(s);
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

bool detectAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

#endif

} // namespace

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

float remapAccumulate(const float* src, std::ptrdiff_t stride, int rows, int cols, const WindowWeights& w,
                      const RemapSetup& s, bool allowSimd) {
#ifdef LUMORA_REMAP_AVX2
    if (allowSimd && remapSimdAvailable()) {
        if (s.alpha == 1.f)
            return accumulateAvx2<DetailMode::Linear>(src, stride, rows, cols, w, s);
        if (s.alpha > 1.f)
            return accumulateAvx2<DetailMode::Power>(src, stride, rows, cols, w, s);
        if (s.alpha == 0.5f)
            return accumulateAvx2<DetailMode::EnhanceRoot>(src, stride, rows, cols, w, s);
        return accumulateAvx2<DetailMode::Enhance>(src, stride, rows, cols, w, s);
    }
#endif
    (void)allowSimd;
    return accumulateScalar(src, stride, rows, cols, w, s);
}

} // namespace lumora
