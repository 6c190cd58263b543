#include "tonemap/ToneMapEngine.h"

#include "app/EventLog.h"
#include "app/Parallel.h"
#include "tonemap/ColorModifications.h"
#include "tonemap/RenderSteps.h"
#include "tonemap/Sharpening.h"
#include "tonemap/ToneControls.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <exception>

namespace lumora {

namespace {

std::atomic<int> gPreviewWidth{108}, gPreviewHeight{192};
std::atomic<int> gThumbnailWidth{108}, gThumbnailHeight{192};

// Light images are 3-channel float in [0, 1]: integer images are scaled by their depth's white.
cv::Mat toLightImage(const cv::Mat& image) {
    if (image.empty())
        return {};
    cv::Mat f;
    switch (image.depth()) {
    case CV_8U:
        image.convertTo(f, CV_32F, 1.0 / 255.0);
        break;
    case CV_16U:
        image.convertTo(f, CV_32F, 1.0 / 65535.0);
        break;
    case CV_32F:
        f = image;
        break;
    default:
        image.convertTo(f, CV_32F);
        break;
    }
    if (f.channels() == 1)
        cv::cvtColor(f, f, cv::COLOR_GRAY2BGR);
    else if (f.channels() == 4)
        cv::cvtColor(f, f, cv::COLOR_BGRA2BGR);
    return f;
}

// Marks the engine busy for the lifetime of a render, whatever way the render ends.
class BusyScope {
public:
    explicit BusyScope(std::atomic<bool>& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::atomic<bool>& flag_;
};

template <typename T> bool assign(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

ToneMapEngine::ToneMapEngine() {
    createOperator(params_.operatorIndex);
}

ToneMapEngine::ToneMapEngine(const ToneMapEngine& other) {
    *this = other;
}

ToneMapEngine& ToneMapEngine::operator=(const ToneMapEngine& other) {
    if (this == &other)
        return *this;
    params_ = other.params_;
    base_ = other.base_, light_ = other.light_;
    scaled_ = other.scaled_;
    caches_ = other.caches_;
    output_ = other.output_;
    outcome_ = other.outcome_;
    error_ = other.error_;
    dirty_ = other.dirty_;
    newImage_ = other.newImage_;
    operatorChanged_ = other.operatorChanged_;
    pendingStage_ = other.pendingStage_;
    busy_ = false;
    currentStep_ = other.currentStep_.load();
    rotatedWidth_ = other.rotatedWidth_;
    rotatedHeight_ = other.rotatedHeight_;
    reportedMissing_ = other.reportedMissing_;
    createOperator(params_.operatorIndex);
    return *this;
}

ToneMapEngine::~ToneMapEngine() = default;

void ToneMapEngine::setPreviewSize(int width, int height) {
    gPreviewWidth = width;
    gPreviewHeight = height;
}

cv::Size ToneMapEngine::previewSize() {
    return {gPreviewWidth.load(), gPreviewHeight.load()};
}

void ToneMapEngine::setThumbnailSize(int width, int height) {
    gThumbnailWidth = width;
    gThumbnailHeight = height;
}

cv::Size ToneMapEngine::thumbnailSize() {
    return {gThumbnailWidth.load(), gThumbnailHeight.load()};
}

void ToneMapEngine::setProgressListener(std::function<void()> listener) {
    progressListener_ = std::move(listener);
    if (operator_)
        operator_->control().setProgressListener(progressListener_);
}

void ToneMapEngine::createOperator(int index) {
    operator_ = createToneMappingOperator(index);
    if (operator_)
        operator_->control().setProgressListener(progressListener_);
    operatorCreatedFor_ = index;
    if (!operator_ && !reportedMissing_) {
        reportedMissing_ = true;
        logError("ToneMapEngine", std::string("tone-mapping operator ") + toneMappingOperatorName(index) +
                                      " is not available; the image is left untoned");
    }
}

void ToneMapEngine::installOperator(std::unique_ptr<ToneMappingBase> op) {
    operator_ = std::move(op);
    if (operator_)
        operator_->control().setProgressListener(progressListener_);
    operatorCreatedFor_ = params_.operatorIndex;
}

void ToneMapEngine::cancel() {
    if (operator_)
        operator_->cancel();
}

bool ToneMapEngine::isCanceled() const {
    return operator_ && operator_->isCanceled();
}

int ToneMapEngine::progress() const {
    return operator_ ? operator_->progress() : 0;
}

void ToneMapEngine::setImage(const cv::Mat& image, bool replaceBase) {
    light_ = toLightImage(image);
    if (base_.empty() || replaceBase)
        base_ = light_;
    output_ = light_;
    if (previewSize().area() == 0)
        setPreviewSize(light_.cols, light_.rows);
    newImage_ = true;
    if (!operator_)
        createOperator(params_.operatorIndex);
}

// ------------------------------------------------------------------------------------------------- setters

void ToneMapEngine::changed(int stage, bool recompute) {
    dirty_ = true;
    pendingStage_ = std::min(pendingStage_, stage);
    if (recompute)
        computePreview(stage, true);
}

void ToneMapEngine::setRotation(float radians, bool recompute) {
    if (assign(params_.rotation, radians))
        changed(StageRotation, recompute);
}

void ToneMapEngine::setCropRect(const cv::Rect& crop, bool recompute) {
    if (assign(params_.cropRect, crop))
        changed(StageCrop, recompute);
}

void ToneMapEngine::setExposure(float stops, bool recompute) {
    if (!assign(params_.exposure, stops))
        return;
    params_.exposureTerms = exposureTermsFor(stops);
    changed(StageColour, recompute);
}

void ToneMapEngine::setContrast(float v, bool recompute) {
    if (assign(params_.contrast, v))
        changed(StageColour, recompute);
}

void ToneMapEngine::setHue(float v, bool recompute) {
    if (assign(params_.hue, v))
        changed(StageColour, recompute);
}

void ToneMapEngine::setSaturation(float v, bool recompute) {
    if (assign(params_.saturation, v))
        changed(StageColour, recompute);
}

void ToneMapEngine::setVibrance(float v, bool recompute) {
    if (assign(params_.vibrance, v))
        changed(StageColour, recompute);
}

void ToneMapEngine::setBlackClip(float v, bool recompute) {
    if (assign(params_.blackClip, v))
        changed(StageColour, recompute);
}

void ToneMapEngine::setWhiteClip(float v, bool recompute) {
    if (assign(params_.whiteClip, v))
        changed(StageColour, recompute);
}

void ToneMapEngine::setApplyToneMapping(bool v, bool recompute) {
    if (assign(params_.applyToneMapping, v))
        changed(StageToneMap, recompute);
}

void ToneMapEngine::setStrength(float v, bool recompute) {
    if (assign(params_.strength, v))
        changed(StageSharpen, recompute);
}

void ToneMapEngine::setCurveValue(void (ToneCurve::*setter)(float), float (ToneCurve::*getter)() const,
                                  float v, bool recompute) {
    if ((params_.toneCurve.*getter)() == v)
        return;
    (params_.toneCurve.*setter)(v);
    changed(StageColour, recompute);
}

void ToneMapEngine::setWhites(float v, bool recompute) {
    setCurveValue(&ToneCurve::setWhites, &ToneCurve::whites, v, recompute);
}

void ToneMapEngine::setBlacks(float v, bool recompute) {
    setCurveValue(&ToneCurve::setBlacks, &ToneCurve::blacks, v, recompute);
}

void ToneMapEngine::setHighlights(float v, bool recompute) {
    setCurveValue(&ToneCurve::setHighlights, &ToneCurve::highlights, v, recompute);
}

void ToneMapEngine::setShadows(float v, bool recompute) {
    setCurveValue(&ToneCurve::setShadows, &ToneCurve::shadows, v, recompute);
}

void ToneMapEngine::setApplySharpening(bool v, bool recompute) {
    if (assign(params_.applySharpening, v))
        changed(StageSharpen, recompute);
}

void ToneMapEngine::setSharpeningAmount(float v, bool recompute) {
    if (assign(params_.sharpeningAmount, v))
        changed(StageSharpen, recompute);
}

void ToneMapEngine::setSharpeningRadius(int v, bool recompute) {
    if (assign(params_.sharpeningRadius, v))
        changed(StageSharpen, recompute);
}

void ToneMapEngine::setSharpeningThreshold(float v, bool recompute) {
    if (assign(params_.sharpeningThreshold, v))
        changed(StageSharpen, recompute);
}

void ToneMapEngine::setOperatorIndex(int index, bool recompute) {
    const int op = clampOperatorIndex(index);
    if (op == params_.operatorIndex && operatorCreatedFor_ == op)
        return; // the same operator stays, with whatever it caches
    params_.operatorIndex = op;
    createOperator(op);
    operatorChanged_ = true;
    changed(StageToneMap, recompute);
}

void ToneMapEngine::setOperatorElement(int operatorIndex, int element, float v, bool recompute) {
    const int op = clampOperatorIndex(operatorIndex);
    if (!assign(params_.operatorParams[static_cast<size_t>(op)][static_cast<size_t>(element)], v))
        return;
    // Operator 4's alpha restarts from the rotation stage, as its slider always did.
    changed(op == 4 && element == 0 ? StageRotation : StageToneMap, recompute);
}

void ToneMapEngine::setOperatorAlpha(int operatorIndex, float v, bool recompute) {
    setOperatorElement(operatorIndex, 0, v, recompute);
}

void ToneMapEngine::setOperatorBeta(int operatorIndex, float v, bool recompute) {
    setOperatorElement(operatorIndex, 1, v, recompute);
}

void ToneMapEngine::setOperatorGamma(int operatorIndex, float v, bool recompute) {
    setOperatorElement(operatorIndex, 2, v, recompute);
}

void ToneMapEngine::setAll(const ControlPositions& positions) {
    const ControlPositions p = positions.bounded();
    for (const ToneControl& c : kToneControls) {
        if (c.apply)
            c.apply(*this, positionOf(p, c), false);
        if (c.kind != ToneControlKind::Operator)
            continue;
        const int op = params_.operatorIndex;
        const std::array<float, 3> t = operatorTripleFromPositions(op, p.alpha, p.beta, p.gamma);
        for (int e = 0; e < operatorParamCount(op); ++e)
            setOperatorElement(op, e, t[static_cast<size_t>(e)], false);
    }
}

void applyControlPositions(ToneMapEngine& engine, const ControlPositions& positions) {
    engine.setAll(positions);
}

// --------------------------------------------------------------------------------------------------- render

namespace {
// The step names of the stages, in stage order.
constexpr const char* kStepNames[ToneMapEngine::StageOutput] = {
    "ApplyRotation", "ApplyCrop", "ApplyToneMap", "ApplyingSharpenning", "ApplyingColorModifications"};
} // namespace

bool ToneMapEngine::toneMapStep(const cv::Mat& cropped, cv::Mat& toned, int workers) {
    if (operator_)
        operator_->clearCancel();
    if (!params_.applyToneMapping || !operator_) {
        toned = cropped;
        return true;
    }
    const std::string name = toneMappingOperatorName(params_.operatorIndex);
    operator_->setWorkerCount(workers);
    try {
        operator_->toneMap(toned, cropped,
                           params_.operatorParams[static_cast<size_t>(params_.operatorIndex)].data());
    } catch (const std::exception& e) {
        return fail(name + ": " + e.what()); // the previous output stays, as after a cancel
    }
    if (operator_->isCanceled()) {
        outcome_ = RunOutcome::Canceled;
        return false;
    }
    if (toned.empty() || toned.size() != cropped.size())
        return fail(name + " returned no image of the input's size");
    if (toned.data == cropped.data)
        toned = toned.clone(); // later steps must not write into a cache
    return true;
}

bool ToneMapEngine::fail(const std::string& reason) {
    logError("ToneMapEngine", reason);
    outcome_ = RunOutcome::Failed;
    error_ = reason;
    return false;
}

cv::Mat ToneMapEngine::colourAndClip(const cv::Mat& image, int workers) {
    const ColorModSettings settings = colorModSettings(params_.exposureTerms, params_.contrast, params_.hue,
                                                       params_.saturation, params_.vibrance);
    const cv::Mat coloured = applyColorModifications(params_.toneCurve, image, settings, workers);
    return clipBlackWhite(coloured, params_.blackClip, params_.whiteClip, workers);
}

bool ToneMapEngine::runStage(int stage, Slots& s, const cv::Mat& source, const Pass& pass) {
    switch (stage) {
    case StageRotation:
        s[StageRotation] = rotateImage(source, params_.rotation);
        if (pass.preview) {
            const cv::Size full = rotatedSize(light_.size(), params_.rotation);
            rotatedWidth_ = full.width;
            rotatedHeight_ = full.height;
        }
        return true;
    case StageCrop: {
        const cv::Mat& rotated = s[StageRotation];
        s[StageCrop] = rotated;
        if (isValidCrop(params_.cropRect)) {
            const cv::Rect r = clippedCrop(
                pass.preview ? previewCrop(params_.cropRect, rotated.size(), rotatedWidth_, rotatedHeight_)
                             : params_.cropRect,
                rotated.size());
            if (r.area() > 0)
                s[StageCrop] = rotated(r);
        }
        if (pass.releaseUsed)
            s[StageRotation].release();
        return true;
    }
    case StageToneMap: {
        cv::Mat toned;
        if (!toneMapStep(s[StageCrop], toned, pass.workers))
            return false;
        // The preview cuts negatives here, before they reach the blend.
        if (pass.preview && params_.applyToneMapping && operator_)
            zeroNegatives(toned, pass.workers);
        s[StageToneMap] = toned;
        return true;
    }
    case StageSharpen: {
        cv::Mat blended = params_.applyToneMapping
                              ? blendStrength(s[StageCrop], s[StageToneMap], params_.strength)
                              : s[StageCrop];
        if (pass.releaseUsed) {
            s[StageToneMap].release();
            s[StageCrop].release();
        }
        // The preview is sharpened as the export will be, seen at the preview's size.
        const double scale =
            pass.preview && light_.cols > 0 ? std::min(1.0, double(source.cols) / light_.cols) : 1.0;
        s[StageSharpen] = sharpenImage(blended, params_.applySharpening, params_.sharpeningAmount,
                                       params_.sharpeningRadius, pass.workers, scale);
        return true;
    }
    case StageColour:
        s[StageColour] = colourAndClip(s[StageSharpen], pass.workers);
        if (pass.releaseUsed)
            s[StageSharpen].release();
        return true;
    default:
        return true;
    }
}

const char* ToneMapEngine::stepName(int stage) {
    return stage >= 0 && stage < StageOutput ? kStepNames[stage] : "";
}

bool ToneMapEngine::runStages(int from, Slots& slots, const cv::Mat& source, const Pass& pass) {
    outcome_ = RunOutcome::Finished;
    error_.clear();
    stageSeconds_.fill(0.0);
    for (int stage = from; stage < StageOutput; ++stage) {
        currentStep_ = kStepNames[stage];
        const auto start = std::chrono::steady_clock::now();
        const bool done = runStage(stage, slots, source, pass);
        stageSeconds_[static_cast<size_t>(stage)] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!done)
            return false;
    }
    return true;
}

void ToneMapEngine::computePreview(int stage, bool fast) {
    if (light_.empty())
        return;
    BusyScope busy(busy_);
    currentStep_ = "ComputePreview";
    stage = std::clamp(stage, 0, static_cast<int>(StageOutput));
    if (newImage_)
        stage = StageRotation;
    if (operatorChanged_ && stage > StageToneMap)
        stage = StageToneMap;
    if (operator_)
        operator_->clearCancel();
    // A stage restarts from the cache of the stage before it; a missing cache moves the start back.
    for (int k = 0; k < stage; ++k)
        if (caches_[static_cast<size_t>(k)].empty()) {
            stage = k;
            break;
        }

    const cv::Size view = previewSize();
    const double shrink = fast && params_.applyToneMapping ? 1.5 : 1.0;
    const cv::Size target(static_cast<int>(view.width / shrink), static_cast<int>(view.height / shrink));
    if (stage <= StageRotation && (newImage_ || scaled_.size() != target)) {
        // Averaged, not sampled: a preview shrunk by several times must not alias into noise the export
        // lacks.
        if (light_.cols > view.width && target.area() > 0)
            cv::resize(light_, scaled_, target, 0, 0, cv::INTER_AREA);
        else
            scaled_ = light_;
    }
    // The stages write into the caches only once they all succeeded, so a cancel keeps the previous ones.
    Slots slots = caches_;
    if (!runStages(stage, slots, scaled_, Pass{true, false, workerCount(WorkerUse::Interactive)}))
        return; // cancelled or failed: the previous output stays
    caches_ = slots;
    output_ = caches_[StageColour];
    newImage_ = false;
    operatorChanged_ = false;
    pendingStage_ = StageOutput;
}

Result<cv::Mat> ToneMapEngine::renderFrom(const cv::Mat& light) {
    if (light.empty())
        return failure("there is no light image to render");
    BusyScope busy(busy_);
    Slots slots;
    // Full size is an export or a thumbnail: the caller waits for it, so it gets every core.
    // A failed or cancelled render gives nothing: the last preview in its place would be written out as if
    // it were the full-size picture.
    if (!runStages(StageRotation, slots, light, Pass{false, true, workerCount(WorkerUse::Waiting)}))
        return failure(outcome_ == RunOutcome::Failed ? error_ : std::string("the render was interrupted"));
    output_ = slots[StageColour];
    return output_;
}

void ToneMapEngine::releaseRenderCaches() {
    caches_ = Slots{};
    scaled_.release();
    output_ = light_;
    newImage_ = true;
}

void ToneMapEngine::releaseFullOutput() {
    output_ = caches_[StageColour].empty() ? light_ : caches_[StageColour];
}

Result<cv::Mat> ToneMapEngine::renderFullSize() {
    return renderFrom(light_);
}

cv::Mat ToneMapEngine::lightUnderGeometry() const {
    return applyGeometry(light_, params_.rotation, params_.cropRect);
}

Result<cv::Mat> ToneMapEngine::renderThumbnail(const cv::Mat& image) {
    const cv::Mat light = toLightImage(image);
    const cv::Size size = thumbnailSize();
    if (light.empty() || size.area() <= 0)
        return failure("there is no light image to render");
    cv::Mat scaled;
    cv::resize(light, scaled, size, 0, 0, cv::INTER_LINEAR);
    return renderFrom(scaled);
}

} // namespace lumora
