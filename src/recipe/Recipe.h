#pragma once
// A recipe: the small JSON file written beside an exported picture (NAME.lumora.json next to NAME.jpg) that
// records everything that made it (program version, sources with a cheap checksum, frames, stacking choices,
// every tone control by the one table of controls, rotation and crop, output format and depth), so that the
// same picture can be made again, or made again with one thing changed. Reading reports what it cannot use
// (unknown or newer fields, moved or changed sources) instead of dropping it silently.

#include "app/Status.h"
#include "stacking/StackingChoices.h"
#include "tonemap/ToneMapParams.h"

#include <QByteArray>
#include <opencv2/core.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumora {

// The recipe format this program writes; a file with a larger number was written by a newer program.
inline constexpr int kRecipeFormat = 1;
// How many bytes from each end of a source the checksum covers.
inline constexpr std::int64_t kRecipeChecksumSpan = 1 << 20;

// What the sources are: a video, the photos of a burst (in frame order), or one image file read whole (a
// light image or a photo that was tone-mapped without a sequence).
enum class RecipeSourceKind { Video, Burst, Image };

struct RecipeSource {
    std::string path;      // absolute when written
    std::int64_t size = 0; // bytes
    std::string sha256;    // hex, of the first and last MiB (see sourceChecksum)
};

struct Recipe {
    std::string programVersion;
    RecipeSourceKind sourceKind = RecipeSourceKind::Video;
    std::vector<RecipeSource> sources;
    // The chosen frame and the run of frames stacked around it (for an image: 0, 0, 1).
    int chosenFrame = 0;
    int firstFrame = 0;
    int frameCount = 1;
    std::optional<StackingChoices> stacking; // absent: the chosen frame itself, not stacked
    std::optional<ControlPositions> tone;    // absent: written without tone mapping
    int rotation = 0;                        // position of the rotation slider, degrees
    std::optional<cv::Rect> crop;            // in pixels of the rotated full-size image
    std::string outputFormat;                // extension of the picture, lower case ("jpg")
    int outputBits = 8;
    int jpegQuality = 99;
    int peakNits = 1000;   // HDR outputs only
    int transferIndex = 0; // HDR outputs only: 0 PQ, 1 HLG
};

// "dir/NAME.lumora.json" for "dir/NAME.jpg".
std::string recipePathFor(const std::string& picturePath);

// SHA-256 (hex) of the first MiB of the file followed by its last MiB (the whole file once when it is at most
// two MiB): cheap on a clip of gigabytes, and any re-encode or trim changes it. Fails when the file cannot be
// read.
Result<std::string> sourceChecksum(const std::string& path);
// The source's absolute path, size and checksum; fails when it cannot be read.
Result<RecipeSource> describeSource(const std::string& path);

// The recipe as indented JSON (keys in a fixed order, so equal recipes give equal files).
QByteArray recipeJson(const Recipe& recipe);
// Writes recipePathFor(picturePath) safely (temporary file, then rename).
Status writeRecipe(const Recipe& recipe, const std::string& picturePath);

struct RecipeReading {
    bool ok = false;
    std::string error;                 // why the recipe cannot be used (ok false)
    std::vector<std::string> warnings; // what the user should know before going on (ok true)
    bool sourceChanged = false;        // one of the warnings: a source's size or checksum differs
    Recipe recipe;
};

// Parses recipe text. Broken JSON and missing or malformed required fields fail with a message naming the
// position or the field; unknown fields and a newer format are warnings. A tone control the recipe lacks
// takes its designed position, with a warning.
RecipeReading parseRecipe(const QByteArray& json);

// Reads the recipe file, then finds its sources: one not at its recorded path is looked for by file name in
// the recipe's folder (a warning says so; the recipe's paths are updated); one found nowhere fails. A size or
// checksum that differs from the recorded one is a warning: the picture may differ.
RecipeReading openRecipe(const std::string& recipePath);

} // namespace lumora
