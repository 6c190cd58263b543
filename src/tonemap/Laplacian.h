#pragma once
// Operator 0, the default: local Laplacian filtering of the luminance in the log domain (details scaled by
// alpha, large steps compressed by beta), colour restored from each channel's ratio to the luminance, the
// middle 99 % of the result fitted to a 100:1 range and encoded with a 1/2.2 power.

#include "tonemap/OperatorParams.h"
#include "tonemap/ToneMappingBase.h"

namespace lumora {

class Laplacian : public ToneMappingBase {
public:
    Laplacian() = default;

    // params: alpha, beta (gamma unused).
    cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) override;
    // The tone-mapped image; empty when the run was asked to end.
    cv::Mat apply(const cv::Mat& input, const LaplacianParams& params);

    float alpha() const { return alpha_; }
    float beta() const { return beta_; }
    float noiseLevel() const { return noiseLevel_; }
    float sigmaR() const { return sigmaR_; }
    int logDomain() const { return logDomain_; }

    // Luminance (20 red + 40 green + blue) / 61 of a BGR float image; a one-channel image is its own.
    static cv::Mat luminance(const cv::Mat& image, int workers = 1);

private:
    float alpha_ = 1.f;
    float beta_ = 0.f;
    float noiseLevel_ = 0.01f;
    float sigmaR_ = 2.5f;
    int logDomain_ = 1;
};

} // namespace lumora
