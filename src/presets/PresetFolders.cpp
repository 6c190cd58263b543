#include "app/AppIdentity.h"
#include "presets/PresetFiles.h"

#include <QDir>

namespace lumora {

void usePresetFolders() {
    setDefaultPresetsDirectory(
        QDir(applicationDirectory()).filePath(QStringLiteral("Presets/")).toStdString());
    setUserPresetsDirectory(QDir(userDataDirectory()).filePath(QStringLiteral("Presets/")).toStdString());
}

} // namespace lumora
