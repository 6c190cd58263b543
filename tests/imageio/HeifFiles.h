#pragma once
// heif-enc, Debian's HEIF and AVIF encoder, as the tests run it to make phone-like photos.

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace lumora::test {

inline bool heifEncoderAvailable() {
    return !QStandardPaths::findExecutable(QStringLiteral("heif-enc")).isEmpty();
}

// heif-enc run with `args`; whether it ended normally with status 0.
inline bool heifEnc(const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral("heif-enc"), args);
    return tool.waitForFinished(120000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

} // namespace lumora::test
