#pragma once
// What one stacking run is asked to do: which frames, how hard to fight ghosts, whether to align, and how
// many threads the composite may use. Filled by the window (or the command-line tool) for every run.

namespace lumora {

class ImagesSequenceBase;

// How the anti-ghosting composite looks for the place a moving block came from.
enum class BlockSearch {
    Exhaustive, // every displacement of the window, the first minimum in scan order: the reference
    Fast,       // blocks within the noise stay, the others are searched coarse to fine (FastBlockSearch)
};

struct StackingParams {
    ImagesSequenceBase* sequence = nullptr; // where frames are read; must outlive the run
    int chosenIndex = 0;                    // the reference frame
    int firstIndex = 0;                     // first frame of the window
    int frameCount = 1;                     // frames in the window; written back by the run
    float searchRadiusPercent = -1.0f; // block-matching reach, % of the larger side; negative = automatic
    float ghostTolerance = 0.0f;       // 0 = any difference is a ghost, 100 = nothing is
    bool align = true;                 // translate every frame onto the chosen one first
    int blockSize = 5;                 // side of the composite's blocks: 15, 5 or 1
    BlockSearch search = BlockSearch::Fast;
    int threadCount = 1; // threads of the composite, the run's own thread included
};

} // namespace lumora
