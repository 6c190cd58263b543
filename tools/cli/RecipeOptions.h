#pragma once
// What every exporting command shares about recipes: the --no-recipe switch, the sources part of a recipe,
// and writing the recipe beside the picture.

#include "CommandLine.h"
#include "recipe/Recipe.h"

#include <string>
#include <vector>

namespace lumora {
class ImagesSequence;
struct HdrChoices;
} // namespace lumora

namespace lumora::cli {

// The help line of --no-recipe.
extern const char* const kRecipeOptionHelp;

void addRecipeOption(CommandLine& line);

// A recipe with the program's version, the output (OUT's format, `bits`, the HDR choices) and the sources of
// an opened sequence (the video, or the burst's photos in frame order); fails when a source cannot be read.
Status startRecipe(const ImagesSequence& sequence, const QString& out, int bits, const HdrChoices& hdr,
                   Recipe* recipe);
// The same for one image file read whole.
Status startImageRecipe(const std::string& image, const QString& out, int bits, const HdrChoices& hdr,
                        Recipe* recipe);

// Writes the recipe beside OUT unless --no-recipe was given. The exit status: 0, or 1 after printing why the
// recipe could not be made or written (the picture itself is written already).
int finishRecipe(const CommandLine& line, const Recipe& recipe, const std::string& problem,
                 const QString& out);

} // namespace lumora::cli
