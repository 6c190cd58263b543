#pragma once
// The few EXIF facts a photographer looks at (camera, lens, exposure, aperture, ISO, date, position), read
// from a photo or a clip with the external EXIF tool, as display texts.

#include <string>

namespace lumora {

struct ExifSummary {
    std::string camera; // make and model
    std::string lens;
    std::string exposure; // "1/200 s"
    std::string aperture; // "f/2.8"
    std::string iso;
    std::string date;     // as recorded, "2024:05:01 10:00:00"
    std::string position; // latitude and longitude as the tool prints them
    std::string error;    // why nothing could be read (no tool, unreadable file); empty otherwise

    bool empty() const {
        return camera.empty() && lens.empty() && exposure.empty() && aperture.empty() && iso.empty() &&
               date.empty() && position.empty();
    }
};

// Runs the tool on `path` (at most a few seconds). A file without these tags gives an empty summary.
ExifSummary readExifSummary(const std::string& path);

// The summary of the tool's JSON answer for one file (what readExifSummary parses).
ExifSummary parseExifSummary(const std::string& json);

} // namespace lumora
