#pragma once
// Renders a light image with a set of tone-mapping parameters: rotation, crop, the chosen operator, strength
// blend, sharpening, colour step and clipping. A preview runs in stages at the view's size and restarts from
// the first stage a change affects; a full-size render runs the whole image in one pass.

#include "app/RunControl.h"
#include "app/Status.h"
#include "tonemap/ToneMapParams.h"
#include "tonemap/ToneMappingBase.h"

#include <opencv2/core.hpp>

#include <functional>

#include <array>
#include <atomic>
#include <memory>
#include <string>

namespace lumora {

class ToneMapEngine {
public:
    // Preview stages, in order; a change restarts the preview at the stage its value feeds.
    enum Stage {
        StageRotation = 0,
        StageCrop = 1,
        StageToneMap = 2,
        StageSharpen = 3,
        StageColour = 4,
        StageOutput = 5
    };

    ToneMapEngine();
    // Copies parameters, curve, current step and images; the copy is idle and has its own fresh operator.
    ToneMapEngine(const ToneMapEngine& other);
    ToneMapEngine& operator=(const ToneMapEngine& other);
    ~ToneMapEngine();

    // Process-wide sizes (108 x 192 until set).
    static void setPreviewSize(int width, int height);
    static cv::Size previewSize();
    static void setThumbnailSize(int width, int height);
    static cv::Size thumbnailSize();

    // Takes a light image (any depth and 1, 3 or 4 channels; kept as 3-channel float). It becomes the base
    // image too when there is none yet or replaceBase is set, and the output until the next render.
    void setImage(const cv::Mat& image, bool replaceBase = false);
    const cv::Mat& baseImage() const { return base_; }
    const cv::Mat& lightImage() const { return light_; }

    // Setters: an equal value changes nothing; otherwise the value is stored, the engine becomes dirty and,
    // with recompute, the preview is recomputed in fast mode from the stage the value feeds.
    void setRotation(float radians, bool recompute = false);
    void setCropRect(const cv::Rect& crop, bool recompute = false);
    void setExposure(float stops, bool recompute = false);
    void setContrast(float v, bool recompute = false);
    void setHue(float v, bool recompute = false);
    void setSaturation(float v, bool recompute = false);
    void setVibrance(float v, bool recompute = false);
    void setBlackClip(float v, bool recompute = false);
    void setWhiteClip(float v, bool recompute = false);
    void setApplyToneMapping(bool v, bool recompute = false);
    void setStrength(float v, bool recompute = false);
    void setWhites(float v, bool recompute = false);
    void setBlacks(float v, bool recompute = false);
    void setHighlights(float v, bool recompute = false);
    void setShadows(float v, bool recompute = false);
    void setApplySharpening(bool v, bool recompute = false);
    void setSharpeningAmount(float v, bool recompute = false);
    void setSharpeningRadius(int v, bool recompute = false);
    void setSharpeningThreshold(float v, bool recompute = false);
    // Values above 4 mean 4 (below 0 mean 0); a new index replaces the operator at once.
    void setOperatorIndex(int index, bool recompute = false);
    void setOperatorAlpha(int operatorIndex, float v, bool recompute = false);
    void setOperatorBeta(int operatorIndex, float v, bool recompute = false);
    void setOperatorGamma(int operatorIndex, float v, bool recompute = false);

    // A whole set of positions (a preset) without recomputing, each brought into its range and converted to
    // its value; alpha, beta, gamma go to the triple of the operator that the set selects, as far as that
    // operator reads them.
    void setAll(const ControlPositions& positions);

    // Recomputes the preview from `stage` (0..5) into the output; fast shrinks it 1.5 times more while tone
    // mapping is on. A cancelled operator leaves the previous output in place.
    void computePreview(int stage, bool fast);
    // Renders the whole light image into the new output. A cancelled or failed render has no picture (the
    // output stays as it was); lastOutcome says which.
    Result<cv::Mat> renderFullSize();
    // The light image under the current rotation and crop at full size, as a full-size render starts from it:
    // what the HDR export lifts a render's highlights from.
    cv::Mat lightUnderGeometry() const;
    // Renders `image` scaled to the thumbnail size with the current parameters; fails as above.
    Result<cv::Mat> renderThumbnail(const cv::Mat& image);
    cv::Mat previewImage() const { return output_; }
    // Memory for a picture set aside: drops the preview's stage images and output (the light image, base
    // image and parameters stay); the next preview starts from the first stage.
    void releaseRenderCaches();
    // After a full-size render whose result the caller keeps: the output goes back to the last preview.
    void releaseFullOutput();
    // How the last preview or render ended: Finished, Canceled (asked to end) or Failed (the operator failed;
    // the reason is in the event log, and in a render's result). Both keep the previous preview output.
    RunOutcome lastOutcome() const { return outcome_; }
    // Seconds each stage of the last preview or render took (0 for the stages it did not run), for
    // benchmarks.
    const std::array<double, StageOutput>& lastStageSeconds() const { return stageSeconds_; }
    // The step name of a stage ("ApplyRotation" ... "ApplyingColorModifications").
    static const char* stepName(int stage);

    const ToneMapParams& params() const { return params_; }
    bool isDirty() const { return dirty_; }
    void clearDirty() { dirty_ = false; }
    bool isBusy() const { return busy_.load(); }
    std::string currentStep() const { return currentStep_.load(); }
    // The lowest stage that changes since the last completed preview affect (StageOutput when none).
    int pendingStage() const { return pendingStage_; }
    int rotatedWidth() const { return rotatedWidth_; }
    int rotatedHeight() const { return rotatedHeight_; }

    // The current operator; null when the selected one is not available in this build.
    ToneMappingBase* toneMapper() const { return operator_.get(); }
    // Asks the running operator to stop (any thread).
    void cancel();
    bool isCanceled() const;
    int progress() const;
    // Called on the rendering thread as the operator's progress changes (see RunControl). Set it while no
    // render runs; it passes on to every operator the engine makes.
    void setProgressListener(std::function<void()> listener);
    // Puts another operator in place of the current index's one (tools and tests that bring their own).
    void installOperator(std::unique_ptr<ToneMappingBase> op);

private:
    // The output of each stage, in stage order.
    using Slots = std::array<cv::Mat, StageOutput>;
    // What differs between a preview and a full-size render.
    struct Pass {
        bool preview; // preview geometry (crop scaled from full resolution), negatives cut after the operator
        bool releaseUsed; // drop each stage's input once no later stage reads it (full size: memory)
        int workers;      // threads for the operator and the colour step
    };

    void changed(int stage, bool recompute);
    void createOperator(int index);
    void setCurveValue(void (ToneCurve::*setter)(float), float (ToneCurve::*getter)() const, float v,
                       bool recompute);
    void setOperatorElement(int operatorIndex, int element, float v, bool recompute);
    // The stage list, run for the preview and for full size alike: stages `from`.. into `slots`, stage 0
    // reading `source`. False when a stage was cancelled or failed (outcome_ says which).
    bool runStages(int from, Slots& slots, const cv::Mat& source, const Pass& pass);
    bool runStage(int stage, Slots& slots, const cv::Mat& source, const Pass& pass);
    // Runs the operator (or passes the image) for the tone-mapping step; false when cancelled or failed.
    bool toneMapStep(const cv::Mat& cropped, cv::Mat& toned, int workers);
    bool fail(const std::string& reason);
    cv::Mat colourAndClip(const cv::Mat& image, int workers);
    Result<cv::Mat> renderFrom(const cv::Mat& light);

    ToneMapParams params_;
    // Image slots; images are never modified in place, so copies of an engine may share them.
    cv::Mat base_, light_;
    cv::Mat scaled_;
    Slots caches_; // the preview's stage outputs
    cv::Mat output_;
    RunOutcome outcome_ = RunOutcome::Finished;
    std::string error_;
    std::array<double, StageOutput> stageSeconds_{};
    bool dirty_ = false;
    bool newImage_ = false;
    bool operatorChanged_ = false;
    int pendingStage_ = StageOutput;
    std::atomic<bool> busy_{false};
    std::atomic<const char*> currentStep_{""};
    int rotatedWidth_ = 0;
    int rotatedHeight_ = 0;
    std::unique_ptr<ToneMappingBase> operator_;
    std::function<void()> progressListener_;
    int operatorCreatedFor_ = -1;
    bool reportedMissing_ = false;
};

// Sets every parameter of `engine` from control positions (without recomputing).
void applyControlPositions(ToneMapEngine& engine, const ControlPositions& positions);

} // namespace lumora
