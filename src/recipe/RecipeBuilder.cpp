#include "recipe/RecipeBuilder.h"

#include "app/AppIdentity.h"
#include "export/HdrExport.h"
#include "media/ImagesSequence.h"
#include "stacking/StackingParams.h"

#include <QFileInfo>

namespace lumora {
namespace {

Status addSource(const std::string& path, Recipe* recipe) {
    Result<RecipeSource> source = describeSource(path);
    if (!source)
        return source.status();
    recipe->sources.push_back(source.take());
    return {};
}

} // namespace

Status startRecipe(const ImagesSequence& sequence, const QString& out, int bits, const HdrChoices& hdr,
                   Recipe* recipe, int jpegQuality) {
    recordOutput(recipe, out, bits, hdr, jpegQuality);
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
                        Recipe* recipe, int jpegQuality) {
    recordOutput(recipe, out, bits, hdr, jpegQuality);
    recipe->sourceKind = RecipeSourceKind::Image;
    recordFrame(recipe, 0);
    return addSource(image, recipe);
}

void recordOutput(Recipe* recipe, const QString& out, int bits, const HdrChoices& hdr, int jpegQuality) {
    recipe->programVersion = kApplicationVersion;
    recipe->outputFormat = QFileInfo(out).suffix().toLower().toStdString();
    recipe->outputBits = bits;
    recipe->peakNits = hdr.peakNits;
    recipe->transferIndex = hdr.transferIndex;
    recipe->jpegQuality = jpegQuality;
}

void recordFrame(Recipe* recipe, int index) {
    recipe->chosenFrame = recipe->firstFrame = index;
    recipe->frameCount = 1;
    recipe->stacking.reset();
}

void recordStack(Recipe* recipe, const StackingChoices& choices, int centre, const StackingParams& run) {
    recipe->chosenFrame = centre;
    recipe->firstFrame = run.firstIndex;
    recipe->frameCount = run.frameCount;
    recipe->stacking = choices;
}

} // namespace lumora
