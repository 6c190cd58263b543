#pragma once
// File names proposed for exports (a photo, a frame of a clip, a light image) and the numbered name used when
// the user keeps an existing file.

#include "export/ExportFormats.h"

#include <QString>

namespace lumora {

// The choices of the stacking run that a light image's name records.
struct StackingRunNaming {
    int antighostingSlider = 0; // "horizontalSlider_AntighostingP1" value
    int movementSlider = 0;     // "horizontalSlider_AntighostingP2" value
    bool automaticMovement = false;
    int qualityIndex = 0; // 0 Fast, 1 Good, 2 Optimal
    int frameCount = 0;
};

struct ExportNameRequest {
    QString mediumPath;      // the opened video, burst file or photo
    bool isSequence = false; // false: a single photo
    bool forLightImage = false;
    int currentIndex = 0; // the player's frame (for a frame export)
    StackingRunNaming run;
};

// Without a sequence: the photo's complete base name. A frame: "clip (120)". A light image:
// "Hi_clip (A3_M5a_Go7)". Names carry neither folder nor extension.
QString defaultExportName(const ExportNameRequest& request, const Translator& translate);

// The first "<directory>/<name>-k<extension>" (k = 1, 2, 3, ...) that does not exist yet. `extension`
// includes its dot.
QString uniqueExportPath(const QString& directory, const QString& name, const QString& extension);

} // namespace lumora
