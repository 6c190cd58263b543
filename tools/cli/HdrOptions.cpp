#include "HdrOptions.h"

namespace lumora::cli {

const char* const kHdrOptionsHelp =
    "  --peak NITS              HDR AVIF and OpenEXR: the brightest highlight kept, 203..10000 (1000);\n"
    "                           diffuse white is 203 nits\n"
    "  --transfer pq|hlg        HDR AVIF: the transfer of the 10-bit BT.2020 picture (pq); HLG pictures\n"
    "                           peak at 1000 nits";

void addHdrOptions(CommandLine& line) {
    line.addValued({QStringLiteral("peak"), QStringLiteral("transfer")});
}

bool readHdrOptions(CommandLine& line, HdrChoices& hdr) {
    const std::optional<int> nits =
        line.number(QStringLiteral("peak"), hdr.peakNits, kMinPeakNits, kMaxPeakNits,
                    QStringLiteral("--peak takes %1..%2 nits").arg(kMinPeakNits).arg(kMaxPeakNits));
    if (!nits)
        return false;
    hdr.peakNits = *nits;
    if (line.isSet(QStringLiteral("transfer"))) {
        const int index = hdrTransferIndexOf(line.value(QStringLiteral("transfer")));
        if (index < 0) {
            line.usageError(QStringLiteral("--transfer takes pq or hlg"));
            return false;
        }
        hdr.transferIndex = index;
    }
    return true;
}

} // namespace lumora::cli
