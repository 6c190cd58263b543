#pragma once
// The recipe of a picture exported from the window: the open medium, the frame or stacking run the picture
// came from, and its edit (control positions, rotation, crop).

#include "export/HdrExport.h"
#include "recipe/Recipe.h"

#include <QString>

namespace lumora {

class Workspace;
class SharpestImageSelection;

// Fails when a source cannot be read for its checksum.
Result<Recipe> windowRecipe(const Workspace& workspace, const SharpestImageSelection& picture,
                            const QString& path, int bits, const HdrChoices& hdr, int jpegQuality);

} // namespace lumora
