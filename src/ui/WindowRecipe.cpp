#include "ui/WindowRecipe.h"

#include "recipe/RecipeBuilder.h"
#include "stacking/StackingChoices.h"
#include "ui/SharpestImageSelection.h"
#include "ui/Workspace.h"

namespace lumora {

bool startWindowRecipe(const Workspace& ws, const QString& path, int bits, const HdrChoices& hdr,
                       int jpegQuality, Recipe* recipe, std::string* error) {
    if (const ImagesSequence* sequence = ws.sequence())
        return startRecipe(*sequence, path, bits, hdr, recipe, error, jpegQuality);
    return startImageRecipe(ws.path().toStdString(), path, bits, hdr, recipe, error, jpegQuality);
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

bool recordStackOrigin(const StackOrigin& origin, Recipe* recipe, std::string* error) {
    // A run stopped early merged only some of its frames: no recipe can tell which.
    if (origin.merged != origin.frameCount) {
        *error = "the stacking was stopped after " + std::to_string(origin.merged) + " of " +
                 std::to_string(origin.frameCount) + " frames, which a recipe cannot repeat";
        return false;
    }
    StackingParams run;
    run.firstIndex = origin.firstFrame;
    run.frameCount = origin.frameCount;
    recordStack(recipe, origin.choices, origin.centre, run);
    return true;
}

bool windowRecipe(const Workspace& ws, const SharpestImageSelection& picture, const QString& path, int bits,
                  const HdrChoices& hdr, int jpegQuality, Recipe* recipe, std::string* error) {
    if (!startWindowRecipe(ws, path, bits, hdr, jpegQuality, recipe, error))
        return false;
    if (picture.frameIndex() >= 0) {
        recordFrame(recipe, picture.frameIndex()); // a grabbed frame, edited as it is
    } else if (const std::optional<StackOrigin>& origin = picture.document().stackOrigin()) {
        if (!recordStackOrigin(*origin, recipe, error))
            return false;
    } else if (ws.sequence()) {
        *error = "the stacking run that made the picture is not known";
        return false;
    }
    recipe->tone = picture.positions().current();
    recipe->rotation = picture.positions().rotation;
    const cv::Rect crop = picture.engine().params().cropRect;
    if (isValidCrop(crop))
        recipe->crop = crop;
    return true;
}

} // namespace lumora
