#pragma once
// The image formats offered for export, their bit depths, and the save-dialog filter texts built from them.

#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace lumora {

struct ExportFormat {
    const char* labelKey;  // translation key of the format's name
    const char* extension; // lower case, without the dot
    std::array<int, 3>
        depths; // bits per channel in offering order, unused slots -1; the first is the default

    int defaultDepth() const { return depths[0]; }
    // The offered depths in table order.
    std::vector<int> offeredDepths() const;
    // The offered depths ascending, as the depth question lists them.
    std::vector<int> sortedDepths() const;
    bool offersDepth(int bits) const;
    // More than one depth: the user is asked which.
    bool asksForDepth() const { return depths[1] != -1; }
};

inline constexpr int kExportFormatCount = 7;
// JPEG, Radiance HDR, TIFF, PSD, BMP, OpenEXR, HDR AVIF, in this order: the index is what the settings
// remember. OpenEXR's 16 bits are half floats; HDR AVIF is 10 bits.
const std::array<ExportFormat, kExportFormatCount>& exportFormats();

// Whether files of the format can hold EXIF data (the EXIF tool cannot write Radiance HDR, BMP or OpenEXR
// files).
bool exportFormatCarriesExif(int formatIndex);
// The EXIF source to copy from into a file of the format: `source`, or none where the tool cannot write the
// format (running it there only fails and warns).
std::string exifSourceForFormat(int formatIndex, const std::string& source);

// Index of the format whose extension is `suffix` (any letter case, without the dot); -1 when none is.
int exportFormatIndexForSuffix(const QString& suffix);

// Looks a translation key up; the window passes the language engine, tests a table.
using Translator = std::function<QString(const std::string& key)>;

// "<label> (*.jpg);;...;;<Image files> (*.jpg *.hdr *.tif *.psd *.bmp);;All Files (*.*)"
QString exportDialogFilter(const Translator& translate);
// One format's entry of that filter, "<label> (*.<ext>)"; what the save dialog preselects. Empty for a bad
// index.
QString exportFilterEntry(int formatIndex, const Translator& translate);

} // namespace lumora
