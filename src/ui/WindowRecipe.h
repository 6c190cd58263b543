#pragma once
// The recipes of what the window writes: a picture exported from an edit (the open medium, the frame or
// stacking run it came from, its control positions, rotation and crop), the player's current frame, and the
// light image of the last stacking run. Built with the same builder as lumora-cli's, so the same choices give
// the same recipe.

#include "app/Status.h"
#include "export/HdrExport.h"
#include "recipe/Recipe.h"
#include "ui/PictureDocument.h"

#include <QString>

namespace lumora {

class Workspace;
class SharpestImageSelection;

// The sources of the open medium and the output (`path`'s format, depth, HDR choices, JPEG quality); fails
// when a source cannot be read for its checksum.
Status startWindowRecipe(const Workspace& workspace, const QString& path, int bits, const HdrChoices& hdr,
                         int jpegQuality, Recipe* recipe);
// The workspace's last stacking run.
StackOrigin lastStackOf(const Workspace& workspace);
// Records a stacking run; fails when the run was stopped before its end.
Status recordStackOrigin(const StackOrigin& origin, Recipe* recipe);
// The whole recipe of an edited picture written to `path`.
Result<Recipe> windowRecipe(const Workspace& workspace, const SharpestImageSelection& picture,
                            const QString& path, int bits, const HdrChoices& hdr, int jpegQuality);

} // namespace lumora
