#include "RecipeOptions.h"

#include <cstdio>

namespace lumora::cli {

const char* const kRecipeOptionHelp =
    "  --no-recipe              do not write the recipe OUT-NAME.lumora.json beside OUT (it records the\n"
    "                           sources, frames and every choice, for 'lumora-cli render --recipe')";

void addRecipeOption(CommandLine& line) {
    line.addFlags({QStringLiteral("no-recipe")});
}

int finishRecipe(const CommandLine& line, const Recipe& recipe, const std::string& problem,
                 const QString& out) {
    if (line.isSet(QStringLiteral("no-recipe")))
        return 0;
    std::string error = problem;
    if (error.empty()) {
        const Status written = writeRecipe(recipe, out.toStdString());
        if (written)
            return 0;
        error = written.reason();
    }
    std::fprintf(stderr, "lumora-cli %s: the picture is written, but not its recipe: %s\n", line.command(),
                 error.c_str());
    return 1;
}

} // namespace lumora::cli
