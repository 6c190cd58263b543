#include "export/ExportNames.h"

#include <QFileInfo>
#include <array>

namespace lumora {

QString defaultExportName(const ExportNameRequest& request, const Translator& translate) {
    const QFileInfo medium(request.mediumPath);
    if (!request.isSequence)
        return medium.completeBaseName();
    if (!request.forLightImage)
        return medium.completeBaseName() + QStringLiteral(" (%1)").arg(request.currentIndex);

    static const std::array<const char*, 3> kQualityKeys = {"Fast", "Good", "Optimal"};
    const StackingRunNaming& run = request.run;
    const QString quality = run.qualityIndex >= 0 && run.qualityIndex < int(kQualityKeys.size())
                                ? translate(kQualityKeys[std::size_t(run.qualityIndex)]).left(2)
                                : QString();
    return QStringLiteral("Hi_") + medium.baseName() +
           QStringLiteral(" (A%1").arg(run.antighostingSlider / 10) +
           QStringLiteral("_M%1").arg(run.movementSlider / 10) +
           (run.automaticMovement ? QStringLiteral("a") : QString()) + QLatin1Char('_') + quality +
           QString::number(run.frameCount) + QLatin1Char(')');
}

QString uniqueExportPath(const QString& directory, const QString& name, const QString& extension) {
    for (int k = 1;; ++k) {
        const QString candidate =
            directory + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(k) + extension;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

} // namespace lumora
