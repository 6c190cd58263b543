#include "presets/PresetThumbnail.h"

#include "app/EventLog.h"
#include "tonemap/ToneMapEngine.h"

#include <exception>

namespace lumora {

PresetThumbnailResult renderPresetThumbnail(ToneMapEngine& engine) {
    PresetThumbnailResult result;
    try {
        result.image = engine.renderThumbnail(engine.lightImage()).take();
        if (engine.isCanceled()) {
            result.outcome = RunOutcome::Canceled;
            result.image.release();
        } else if (result.image.empty()) {
            result.reason = "the thumbnail could not be rendered";
        } else {
            result.outcome = RunOutcome::Finished;
        }
    } catch (const std::exception& e) {
        logError("PresetThumbnail", std::string("The preset thumbnail failed: ") + e.what());
        result = PresetThumbnailResult{RunOutcome::Failed, cv::Mat(), e.what()};
    }
    return result;
}

} // namespace lumora
