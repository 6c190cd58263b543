#pragma once
// The window benches run off screen in a home of their own, so they never read or change the user's settings.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

inline void usePrivateHomeOffScreen(const QTemporaryDir& home) {
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
