#include "ui/WindowRecipe.h"

#include "app/AppIdentity.h"
#include "stacking/StackingChoices.h"
#include "ui/SharpestImageSelection.h"
#include "ui/Workspace.h"

#include <QFileInfo>

namespace lumora {

Result<Recipe> windowRecipe(const Workspace& ws, const SharpestImageSelection& picture, const QString& path,
                            int bits, const HdrChoices& hdr, int jpegQuality) {
    Recipe r;
    r.programVersion = kApplicationVersion;
    r.outputFormat = QFileInfo(path).suffix().toLower().toStdString();
    r.outputBits = bits;
    r.peakNits = hdr.peakNits;
    r.transferIndex = hdr.transferIndex;
    r.jpegQuality = jpegQuality;
    std::vector<std::string> files;
    if (ws.kind() == Workspace::Kind::Burst && ws.sequence()) {
        r.sourceKind = RecipeSourceKind::Burst;
        files = ws.sequence()->files();
    } else {
        r.sourceKind =
            ws.kind() == Workspace::Kind::Video ? RecipeSourceKind::Video : RecipeSourceKind::Image;
        files.push_back(ws.path().toStdString());
    }
    for (const std::string& file : files) {
        Result<RecipeSource> source = describeSource(file);
        if (!source)
            return source.status();
        r.sources.push_back(source.take());
    }
    if (picture.frameIndex() >= 0) {
        // A grabbed frame, edited as it is.
        r.chosenFrame = r.firstFrame = picture.frameIndex();
        r.frameCount = 1;
    } else if (ws.sequence()) {
        // The light image of the last stacking run, around the chosen frame.
        ImagesSequence* sequence = ws.sequence();
        const StackingParams run =
            stackingParamsFor(ws.stacking, sequence, ws.centreIndex, sequence->frameCount());
        r.chosenFrame = ws.centreIndex;
        r.firstFrame = run.firstIndex;
        r.frameCount = run.frameCount;
        r.stacking = ws.stacking;
    }
    r.tone = picture.positions().current();
    r.rotation = picture.positions().rotation;
    const cv::Rect crop = picture.engine().params().cropRect;
    if (isValidCrop(crop))
        r.crop = crop;
    return r;
}

} // namespace lumora
