#pragma once
// A preset's thumbnail rendered with the preset's own engine, as one plain call for whoever runs it off its
// own thread: the picture by value, or why there is none.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

#include <string>

namespace lumora {

class ToneMapEngine;

struct PresetThumbnailResult {
    RunOutcome outcome = RunOutcome::Failed;
    cv::Mat image;      // Finished only
    std::string reason; // Failed: why
};

// Renders the engine's light image at thumbnail size with its current settings. Canceled when the engine was
// cancelled meanwhile. Never throws: an exception is logged and becomes a failure.
PresetThumbnailResult renderPresetThumbnail(ToneMapEngine& engine);

} // namespace lumora
