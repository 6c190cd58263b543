#pragma once
// The interface every tone-mapping operator implements, and the factory that makes one by operator index.
// An operator compresses a 32-bit float light image into a displayable one, reports progress in percent and
// ends early when asked to (from another thread) through its run contract.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

#include <memory>

namespace lumora {

class ToneMappingBase {
public:
    virtual ~ToneMappingBase() = default;
    ToneMappingBase(const ToneMappingBase&) = delete;
    ToneMappingBase& operator=(const ToneMappingBase&) = delete;

    // Tone-maps `input` into `output` with params = (alpha, beta, gamma) and returns `output`. When asked to
    // end, the operator returns early and `output` is undefined.
    virtual cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) = 0;

    int progress() const { return control_.progress(); }
    // An operator has no partial result to keep, so a stop request ends its run as a cancel does.
    bool isCanceled() const { return control_.shouldEnd(); }
    // Safe from any thread.
    void cancel() { control_.requestCancel(); }
    // Forgets the requests and the progress of the last run.
    void clearCancel() { control_.reset(); }
    RunControl& control() { return control_; }

    // Threads the operator's heavy loops may use; the owner sets it per run from who waits for the result
    // (0, the default, leaves a core to an interactive window).
    void setWorkerCount(int workers) { workers_ = workers; }
    int workers() const;

protected:
    ToneMappingBase() = default;
    RunControl control_;

private:
    int workers_ = 0;
};

// The operator of an index (values above 4 taken as 4, below 0 as 0): 0 Laplacian, 1 LogMapping, 2 LC_Model,
// 3 SlidersTM, 4 LayerProcessing. Null when that operator is not part of this build.
std::unique_ptr<ToneMappingBase> createToneMappingOperator(int index);

// Class name of the operator of an index, for messages.
const char* toneMappingOperatorName(int index);

} // namespace lumora
