#pragma once
// The stacking controls as the user sets them (the window's parameter page, lumora-cli's options) and the one
// translation of those positions into a StackingParams record, so both make the same light image from the
// same choices.

#include "stacking/StackingParams.h"

namespace lumora {

// Positions of the anti-ghosting slider that the three named choices stand for.
inline constexpr int kLongExposurePosition = 0;
inline constexpr int kMediumAntighostingPosition = 80;
inline constexpr int kHighAntighostingPosition = 100;
inline constexpr int kAntighostingMaximum = 100;

// Quality indices, in the order of the window's list.
enum StackingQuality : int { QualityFast = 0, QualityGood = 1, QualityOptimal = 2 };

struct StackingChoices {
    int framesBefore = 8;
    int framesAfter = 8;
    int antighostingPosition = kHighAntighostingPosition; // 0 (long exposure) .. 100 (strictest)
    bool automaticMovement = true;                        // estimate the block-matching reach
    int movementPosition = 30;                            // 0..100, tenths of a percent of the larger side
    bool align = true;
    int quality = QualityGood;
    BlockSearch search = BlockSearch::Fast; // how moved blocks are looked for
};

// Side of the composite's blocks: 15, 5 or 1 pixels for fast, good and optimal (good for anything else).
int blockSizeForQuality(int quality);
// ((100 - position) / 10)^2: 0 at the strictest position, 100 (nothing is a ghost) at long exposure.
float ghostToleranceForPosition(int position);
// Negative (estimated automatically) with automatic movement, else position / 10.
float searchRadiusPercentFor(const StackingChoices& choices);

// The run around frame `centre` of a sequence of `sequenceFrameCount` frames: the window of frames is clipped
// to the sequence, the composite uses every core.
StackingParams stackingParamsFor(const StackingChoices& choices, ImagesSequenceBase* sequence, int centre,
                                 int sequenceFrameCount);

} // namespace lumora
