#include "RecipeOptions.h"

#include "app/AppIdentity.h"
#include "export/HdrExport.h"
#include "media/ImagesSequence.h"

#include <QFileInfo>
#include <cstdio>

namespace lumora::cli {

const char* const kRecipeOptionHelp =
    "  --no-recipe              do not write the recipe OUT-NAME.lumora.json beside OUT (it records the\n"
    "                           sources, frames and every choice, for 'lumora-cli render --recipe')";

void addRecipeOption(CommandLine& line) {
    line.addFlags({QStringLiteral("no-recipe")});
}

namespace {

void startOutput(const QString& out, int bits, const HdrChoices& hdr, Recipe* recipe) {
    recipe->programVersion = kApplicationVersion;
    recipe->outputFormat = QFileInfo(out).suffix().toLower().toStdString();
    recipe->outputBits = bits;
    recipe->peakNits = hdr.peakNits;
    recipe->transferIndex = hdr.transferIndex;
}

bool addSource(const std::string& path, Recipe* recipe, std::string* error) {
    RecipeSource source;
    if (!describeSource(path, &source, error))
        return false;
    recipe->sources.push_back(source);
    return true;
}

} // namespace

bool startRecipe(const ImagesSequence& sequence, const QString& out, int bits, const HdrChoices& hdr,
                 Recipe* recipe, std::string* error) {
    startOutput(out, bits, hdr, recipe);
    const std::vector<std::string>& files = sequence.files();
    recipe->sourceKind = files.empty() ? RecipeSourceKind::Video : RecipeSourceKind::Burst;
    if (files.empty())
        return addSource(sequence.sourceFileOf(0), recipe, error);
    for (const std::string& file : files)
        if (!addSource(file, recipe, error))
            return false;
    return true;
}

bool startImageRecipe(const std::string& image, const QString& out, int bits, const HdrChoices& hdr,
                      Recipe* recipe, std::string* error) {
    startOutput(out, bits, hdr, recipe);
    recipe->sourceKind = RecipeSourceKind::Image;
    recipe->chosenFrame = recipe->firstFrame = 0;
    recipe->frameCount = 1;
    return addSource(image, recipe, error);
}

int finishRecipe(const CommandLine& line, const Recipe& recipe, const std::string& problem,
                 const QString& out) {
    if (line.isSet(QStringLiteral("no-recipe")))
        return 0;
    std::string error = problem;
    if (error.empty() && writeRecipe(recipe, out.toStdString(), &error))
        return 0;
    std::fprintf(stderr, "lumora-cli %s: the picture is written, but not its recipe: %s\n", line.command(),
                 error.c_str());
    return 1;
}

} // namespace lumora::cli
