#include "tonemap/ToneMappingBase.h"

#include "tonemap/Laplacian.h"
#include "tonemap/LayerProcessing.h"
#include "tonemap/LocalContrastModel.h"
#include "tonemap/LogMapping.h"
#include "tonemap/SlidersTM.h"
#include "tonemap/ToneMapParams.h"

#include "app/Parallel.h"

namespace lumora {

int ToneMappingBase::workers() const {
    return workers_ > 0 ? workers_ : workerCount(WorkerUse::Interactive);
}

std::unique_ptr<ToneMappingBase> createToneMappingOperator(int index) {
    switch (clampOperatorIndex(index)) {
    case 0:
        return std::make_unique<Laplacian>();
    case 1:
        return std::make_unique<LogMapping>();
    case 2:
        return std::make_unique<LC_Model>();
    case 3:
        return std::make_unique<SlidersTM>();
    case 4:
        return std::make_unique<LayerProcessing>();
    default:
        return nullptr;
    }
}

const char* toneMappingOperatorName(int index) {
    static const char* const kNames[kOperatorCount] = {"Laplacian", "LogMapping", "LC_Model", "SlidersTM",
                                                       "LayerProcessing"};
    return kNames[clampOperatorIndex(index)];
}

} // namespace lumora
