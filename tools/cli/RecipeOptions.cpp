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

Status addSource(const std::string& path, Recipe* recipe) {
    Result<RecipeSource> source = describeSource(path);
    if (!source)
        return source.status();
    recipe->sources.push_back(source.take());
    return {};
}

} // namespace

Status startRecipe(const ImagesSequence& sequence, const QString& out, int bits, const HdrChoices& hdr,
                   Recipe* recipe) {
    startOutput(out, bits, hdr, recipe);
    const std::vector<std::string>& files = sequence.files();
    recipe->sourceKind = files.empty() ? RecipeSourceKind::Video : RecipeSourceKind::Burst;
    if (files.empty())
        return addSource(sequence.sourceFileOf(0), recipe);
    for (const std::string& file : files)
        if (Status added = addSource(file, recipe); !added)
            return added;
    return {};
}

Status startImageRecipe(const std::string& image, const QString& out, int bits, const HdrChoices& hdr,
                        Recipe* recipe) {
    startOutput(out, bits, hdr, recipe);
    recipe->sourceKind = RecipeSourceKind::Image;
    recipe->chosenFrame = recipe->firstFrame = 0;
    recipe->frameCount = 1;
    return addSource(image, recipe);
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
