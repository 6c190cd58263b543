#include "export/ExportFormats.h"

#include <QStringList>
#include <algorithm>

namespace lumora {

std::vector<int> ExportFormat::offeredDepths() const {
    std::vector<int> out;
    for (int d : depths)
        if (d != -1)
            out.push_back(d);
    return out;
}

std::vector<int> ExportFormat::sortedDepths() const {
    std::vector<int> out = offeredDepths();
    std::sort(out.begin(), out.end());
    return out;
}

bool ExportFormat::offersDepth(int bits) const {
    return bits != -1 && std::find(depths.begin(), depths.end(), bits) != depths.end();
}

const std::array<ExportFormat, kExportFormatCount>& exportFormats() {
    static const std::array<ExportFormat, kExportFormatCount> formats = {{
        {"JPEGimg", "jpg", {8, -1, -1}},
        {"HDRimg", "hdr", {32, -1, -1}},
        {"TIFFimg", "tif", {16, 8, 32}},
        {"PSDimg", "psd", {8, 16, -1}},
        {"BMPimg", "bmp", {8, -1, -1}},
        // Appended, so the indexes remembered in the settings keep their meaning. OpenEXR: 16 is half float.
        {"EXRimg", "exr", {16, 32, -1}},
        {"AVIFimg", "avif", {10, -1, -1}},
    }};
    return formats;
}

bool exportFormatCarriesExif(int formatIndex) {
    if (formatIndex < 0 || formatIndex >= kExportFormatCount)
        return false;
    const QLatin1String ext(exportFormats()[std::size_t(formatIndex)].extension);
    return ext != QLatin1String("hdr") && ext != QLatin1String("bmp") && ext != QLatin1String("exr");
}

std::string exifSourceForFormat(int formatIndex, const std::string& source) {
    return exportFormatCarriesExif(formatIndex) ? source : std::string();
}

int exportFormatIndexForSuffix(const QString& suffix) {
    const QString lower = suffix.toLower();
    const auto& formats = exportFormats();
    for (int i = 0; i < kExportFormatCount; ++i)
        if (lower == QLatin1String(formats[i].extension))
            return i;
    return -1;
}

QString exportFilterEntry(int formatIndex, const Translator& translate) {
    if (formatIndex < 0 || formatIndex >= kExportFormatCount)
        return {};
    const ExportFormat& f = exportFormats()[formatIndex];
    return QStringLiteral("%1 (*.%2)").arg(translate(f.labelKey), QLatin1String(f.extension));
}

QString exportDialogFilter(const Translator& translate) {
    QString filter;
    for (int i = 0; i < kExportFormatCount; ++i)
        filter += exportFilterEntry(i, translate) + QStringLiteral(";;");
    QStringList patterns;
    for (const ExportFormat& f : exportFormats())
        patterns << QStringLiteral("*.") + QLatin1String(f.extension);
    filter += translate("ImageFiles") + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
              QStringLiteral(");;All Files (*.*)");
    return filter;
}

} // namespace lumora
