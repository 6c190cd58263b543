#include "stacking/MotionModule.h"

#include "app/EventLog.h"
#include "imageio/ProgramModule.h"

#include <stdexcept>
#include <string>

namespace lumora::motion {

namespace {

struct Loaded {
    const Api* api = nullptr;
    std::string error;
};

// The module, loaded once on any thread; without it the reason is logged once and thrown at every call.
const Api& api() {
    static const Loaded loaded = [] {
        Loaded l;
        using Entry = const Api* (*)();
        const auto entry =
            reinterpret_cast<Entry>(imageio::openProgramModule(kModuleFile, kEntryPoint, &l.error));
        const Api* api = entry ? entry() : nullptr;
        if (api && api->version == kApiVersion)
            l.api = api;
        else if (entry)
            l.error = std::string(kModuleFile) + " is not a motion module of this version";
        if (!l.api)
            logError("stacking", l.error);
        return l;
    }();
    if (!loaded.api)
        throw std::runtime_error(loaded.error);
    return *loaded.api;
}

} // namespace

double findTransformECC(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp, int motionType,
                        cv::TermCriteria criteria, int gaussFiltSize) {
    return api().findTransformECC(templ, input, warp, motionType, criteria, gaussFiltSize);
}

void calcOpticalFlowFarneback(const cv::Mat& prev, const cv::Mat& next, cv::Mat& flow, double pyrScale,
                              int levels, int winsize, int iterations, int polyN, double polySigma,
                              int flags) {
    api().calcOpticalFlowFarneback(prev, next, flow, pyrScale, levels, winsize, iterations, polyN, polySigma,
                                   flags);
}

} // namespace lumora::motion
