#pragma once
// What every exporting command shares about recipes: the --no-recipe switch and writing the recipe beside
// the picture (the recipe itself is built by recipe/RecipeBuilder, as in the window).

#include "CommandLine.h"
#include "recipe/RecipeBuilder.h"

#include <string>

namespace lumora::cli {

// The help line of --no-recipe.
extern const char* const kRecipeOptionHelp;

void addRecipeOption(CommandLine& line);

// Writes the recipe beside OUT unless --no-recipe was given. The exit status: 0, or 1 after printing why the
// recipe could not be made or written (the picture itself is written already).
int finishRecipe(const CommandLine& line, const Recipe& recipe, const std::string& problem,
                 const QString& out);

} // namespace lumora::cli
