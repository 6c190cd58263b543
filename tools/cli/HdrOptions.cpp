#include "HdrOptions.h"

namespace lumora::cli {

const char* const kHdrOptionsHelp =
    "  --peak NITS              HDR AVIF and OpenEXR: the brightest highlight kept, 203..10000 (1000);\n"
    "                           diffuse white is 203 nits\n"
    "  --transfer pq|hlg        HDR AVIF: the transfer of the 10-bit BT.2020 picture (pq); HLG pictures\n"
    "                           peak at 1000 nits";

OptionParse parseHdrOption(const QStringList& args, int& i, HdrChoices& hdr, QString* error) {
    const QString& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == QLatin1String("--peak")) {
        bool ok = false;
        const int nits = hasValue ? args[i + 1].toInt(&ok) : 0;
        if (!ok || nits < kMinPeakNits || nits > kMaxPeakNits) {
            *error = QStringLiteral("--peak takes %1..%2 nits").arg(kMinPeakNits).arg(kMaxPeakNits);
            return OptionParse::Error;
        }
        hdr.peakNits = nits;
        ++i;
        return OptionParse::Taken;
    }
    if (a == QLatin1String("--transfer")) {
        const int index = hasValue ? hdrTransferIndexOf(args[i + 1]) : -1;
        if (index < 0) {
            *error = QStringLiteral("--transfer takes pq or hlg");
            return OptionParse::Error;
        }
        hdr.transferIndex = index;
        ++i;
        return OptionParse::Taken;
    }
    return OptionParse::NotMine;
}

} // namespace lumora::cli
