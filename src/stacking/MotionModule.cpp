#include "stacking/MotionModule.h"

#include "app/EventLog.h"
#include "imageio/ProgramModule.h"

#include <stdexcept>
#include <string>

namespace lumora::motion {

namespace {

// The module, loaded once on any thread; without it the reason is logged once and thrown at every call.
const Api& api() {
    static const imageio::ModuleTable<Api> loaded = [] {
        imageio::ModuleTable<Api> l =
            imageio::loadModuleTable<Api>(kModuleFile, kEntryPoint, kApiVersion, "a motion");
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
