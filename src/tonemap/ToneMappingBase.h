#pragma once
// The interface every tone-mapping operator implements, and the factory that makes one by operator index.
// An operator compresses a 32-bit float light image into a displayable one, reports progress in percent and
// stops between its steps when its cancel flag is set from another thread.

#include "tonemap/RunControl.h"

#include <opencv2/core.hpp>

#include <memory>

namespace lumora {

class ToneMappingBase {
public:
    virtual ~ToneMappingBase() = default;
    ToneMappingBase(const ToneMappingBase&) = delete;
    ToneMappingBase& operator=(const ToneMappingBase&) = delete;

    // Tone-maps `input` into `output` with params = (alpha, beta, gamma) and returns `output`. When the
    // cancel flag is found set the operator returns early and `output` is undefined.
    virtual cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) = 0;

    int progress() const { return control_.progress.load(std::memory_order_relaxed); }
    bool isCanceled() const { return control_.isCanceled(); }
    // Safe from any thread.
    void cancel() { control_.canceled.store(true, std::memory_order_relaxed); }
    void clearCancel() { control_.canceled.store(false, std::memory_order_relaxed); }
    ToneMapControl& control() { return control_; }

protected:
    ToneMappingBase() = default;
    ToneMapControl control_;
};

// The operator of an index (values above 4 taken as 4, below 0 as 0): 0 Laplacian, 1 LogMapping, 2 LC_Model,
// 3 SlidersTM, 4 LayerProcessing. Null when that operator is not part of this build.
std::unique_ptr<ToneMappingBase> createToneMappingOperator(int index);

// Class name of the operator of an index, for messages.
const char* toneMappingOperatorName(int index);

} // namespace lumora
