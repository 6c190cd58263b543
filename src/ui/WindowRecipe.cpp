#include "ui/WindowRecipe.h"

#include "recipe/RecipeBuilder.h"
#include "stacking/StackingChoices.h"
#include "ui/SharpestImageSelection.h"
#include "ui/Workspace.h"

namespace lumora {

Status startWindowRecipe(const Workspace& ws, const QString& path, int bits, const HdrChoices& hdr,
                         int jpegQuality, Recipe* recipe) {
    if (const ImagesSequence* sequence = ws.sequence())
        return startRecipe(*sequence, path, bits, hdr, recipe, jpegQuality);
    return startImageRecipe(ws.path().toStdString(), path, bits, hdr, recipe, jpegQuality);
}

StackOrigin lastStackOf(const Workspace& ws) {
    StackOrigin origin;
    origin.choices = ws.stacking;
    origin.centre = ws.centreIndex;
    origin.merged = ws.stackedFrameCount;
    if (ImagesSequence* sequence = ws.sequence()) {
        const StackingParams run =
            stackingParamsFor(ws.stacking, sequence, ws.centreIndex, sequence->frameCount());
        origin.firstFrame = run.firstIndex;
        origin.frameCount = run.frameCount;
    }
    return origin;
}

Status recordStackOrigin(const StackOrigin& origin, Recipe* recipe) {
    // A run stopped early merged only some of its frames: no recipe can tell which.
    if (origin.merged != origin.frameCount)
        return failure("the stacking was stopped after " + std::to_string(origin.merged) + " of " +
                       std::to_string(origin.frameCount) + " frames, which a recipe cannot repeat");
    StackingParams run;
    run.firstIndex = origin.firstFrame;
    run.frameCount = origin.frameCount;
    recordStack(recipe, origin.choices, origin.centre, run);
    return {};
}

Result<Recipe> windowRecipe(const Workspace& ws, const SharpestImageSelection& picture, const QString& path,
                            int bits, const HdrChoices& hdr, int jpegQuality) {
    Recipe recipe;
    if (Status started = startWindowRecipe(ws, path, bits, hdr, jpegQuality, &recipe); !started)
        return started;
    if (picture.frameIndex() >= 0) {
        recordFrame(&recipe, picture.frameIndex()); // a grabbed frame, edited as it is
    } else if (const std::optional<StackOrigin>& origin = picture.document().stackOrigin()) {
        if (Status recorded = recordStackOrigin(*origin, &recipe); !recorded)
            return recorded;
    } else if (ws.sequence()) {
        return failure("the stacking run that made the picture is not known");
    }
    recipe.tone = picture.positions().current();
    recipe.rotation = picture.positions().rotation;
    const cv::Rect crop = picture.engine().params().cropRect;
    if (isValidCrop(crop))
        recipe.crop = crop;
    return recipe;
}

} // namespace lumora
