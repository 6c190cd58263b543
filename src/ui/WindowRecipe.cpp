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

bool recordLastStack(const Workspace& ws, Recipe* recipe, std::string* error) {
    ImagesSequence* sequence = ws.sequence();
    if (!sequence) {
        *error = "nothing was stacked";
        return false;
    }
    const StackingParams run =
        stackingParamsFor(ws.stacking, sequence, ws.centreIndex, sequence->frameCount());
    // A run stopped early merged only some of its frames: no recipe can tell which.
    if (ws.stackedFrameCount != run.frameCount) {
        *error = "the stacking was stopped after " + std::to_string(ws.stackedFrameCount) + " of " +
                 std::to_string(run.frameCount) + " frames, which a recipe cannot repeat";
        return false;
    }
    recordStack(recipe, ws.stacking, ws.centreIndex, run);
    return true;
}

bool windowRecipe(const Workspace& ws, const SharpestImageSelection& picture, const QString& path, int bits,
                  const HdrChoices& hdr, int jpegQuality, Recipe* recipe, std::string* error) {
    if (!startWindowRecipe(ws, path, bits, hdr, jpegQuality, recipe, error))
        return false;
    if (picture.frameIndex() >= 0)
        recordFrame(recipe, picture.frameIndex()); // a grabbed frame, edited as it is
    else if (ws.sequence() && !recordLastStack(ws, recipe, error))
        return false;
    recipe->tone = picture.positions().current();
    recipe->rotation = picture.positions().rotation;
    const cv::Rect crop = picture.engine().params().cropRect;
    if (isValidCrop(crop))
        recipe->crop = crop;
    return true;
}

} // namespace lumora
