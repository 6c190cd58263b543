#include "app/AppIdentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumora {

void applyIdentity(QCoreApplication& app) {
    app.setOrganizationName(QString::fromLatin1(kOrganizationName));
    app.setOrganizationDomain(QString::fromLatin1(kOrganizationDomain));
    app.setApplicationName(QString::fromLatin1(kApplicationName));
    app.setApplicationVersion(QString::fromLatin1(kApplicationVersion));
}

QString userDataDirectory() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.local/share/") + QString::fromLatin1(kOrganizationName) +
              QLatin1Char('/') + QString::fromLatin1(kApplicationName);
    QDir().mkpath(dir);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString applicationDirectory() {
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    const QDir beside(dir);
    if (beside.exists(QStringLiteral("Lang")) || beside.exists(QStringLiteral("Presets")))
        return dir;
    const QString installed = QDir::cleanPath(beside.filePath(QStringLiteral(LUMORA_DATA_FROM_BINDIR)));
    return QFileInfo(installed).isDir() ? installed + QLatin1Char('/') : dir;
}

} // namespace lumora
