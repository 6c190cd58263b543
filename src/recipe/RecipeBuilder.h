#pragma once
// Building the recipe of a picture as it is written: the one place that knows how the sources, the output and
// the frames of a grabbed frame or a stacking run go into a recipe, shared by lumora-cli and the window so
// that the same choices give the same recipe.

#include "app/Status.h"
#include "recipe/Recipe.h"

#include <QString>
#include <string>

namespace lumora {

class ImagesSequence;
struct HdrChoices;
struct StackingParams;

// A recipe with the program's version, the output (OUT's format, `bits`, the HDR choices, the JPEG quality,
// whose default is the writer's) and the sources of an opened sequence (the video, or the burst's photos in
// frame order); fails when a source cannot be read.
Status startRecipe(const ImagesSequence& sequence, const QString& out, int bits, const HdrChoices& hdr,
                   Recipe* recipe, int jpegQuality = 99);
// The same for one image file read whole (frame 0 of 1).
Status startImageRecipe(const std::string& image, const QString& out, int bits, const HdrChoices& hdr,
                        Recipe* recipe, int jpegQuality = 99);

// The output part: OUT's format (its extension), `bits`, the HDR choices and the JPEG quality.
void recordOutput(Recipe* recipe, const QString& out, int bits, const HdrChoices& hdr, int jpegQuality);
// The picture is frame `index` as it is, not stacked.
void recordFrame(Recipe* recipe, int index);
// The picture is the light image of `run`, made around frame `centre` with `choices`.
void recordStack(Recipe* recipe, const StackingChoices& choices, int centre, const StackingParams& run);

} // namespace lumora
