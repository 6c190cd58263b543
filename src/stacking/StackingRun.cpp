#include "stacking/StackingRun.h"

#include "app/EventLog.h"

#include <QString>

#include <exception>

namespace lumora {

StackingResult runStacking(StackingEngine& engine, StackingParams params, RunControl& run) {
    StackingResult result;
    try {
        result.light = engine.computeLightImage(params, run);
        result.outcome = engine.outcome();
        result.frameCount = params.frameCount;
        if (result.outcome == RunOutcome::Failed)
            result.reason = QString::fromStdString(engine.errorMessage()).trimmed().toStdString();
        else if (result.outcome == RunOutcome::Canceled)
            result.light.release();
    } catch (const std::exception& e) {
        logError("StackingRun", std::string("Stacking failed: ") + e.what() + "\n");
        result = StackingResult{RunOutcome::Failed, cv::Mat(), 0, e.what()};
    } catch (...) {
        logError("StackingRun", "Stacking failed.\n");
        result = StackingResult{RunOutcome::Failed, cv::Mat(), 0, "unknown error"};
    }
    return result;
}

} // namespace lumora
