#include "app/ProcessRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace lumora {

QString findHelperProgram(const QString& name) {
    // Without an application object there is no reliable executable directory; PATH still works.
    if (QCoreApplication::instance()) {
        const QDir dir(QCoreApplication::applicationDirPath());
        for (const QString& candidate :
             {dir.filePath(name), dir.filePath(QStringLiteral(LUMORA_HELPERS_FROM_BINDIR "/") + name)}) {
            const QFileInfo file(candidate);
            if (file.isFile() && file.isExecutable())
                return QDir::cleanPath(file.absoluteFilePath());
        }
    }
    return QStandardPaths::findExecutable(name);
}

QProcessEnvironment largePageHeapEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString name = QStringLiteral("GLIBC_TUNABLES");
    const QString tunable = QStringLiteral("glibc.malloc.hugetlb=1");
    const QString given = environment.value(name);
    if (!given.contains(QStringLiteral("glibc.malloc.hugetlb=")))
        environment.insert(name, given.isEmpty() ? tunable : given + QLatin1Char(':') + tunable);
    return environment;
}

ProcessOutcome runProcess(const QString& program, const QStringList& arguments, int timeoutMs,
                          bool largePageHeap) {
    ProcessOutcome out;
    QProcess process;
    if (largePageHeap)
        process.setProcessEnvironment(largePageHeapEnvironment());
    process.setProgram(program);
    process.setArguments(arguments);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(timeoutMs)) {
        out.error = "cannot start " + program.toStdString() + ": " + process.errorString().toStdString();
        return out;
    }
    out.started = true;
    process.closeWriteChannel();

    const bool done = process.waitForFinished(timeoutMs);
    if (!done) {
        process.kill();
        process.waitForFinished(5000);
    }
    out.standardOutput = process.readAllStandardOutput();
    out.standardError = process.readAllStandardError();
    if (!done) {
        out.error =
            program.toStdString() + " did not finish within " + std::to_string(timeoutMs / 1000) + " s";
        return out;
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        out.error = program.toStdString() + " crashed";
        return out;
    }
    out.finished = true;
    out.exitCode = process.exitCode();
    if (out.exitCode != 0) {
        out.error = program.toStdString() + " exited with status " + std::to_string(out.exitCode);
        const QString detail = QString::fromLocal8Bit(out.standardError).trimmed();
        if (!detail.isEmpty())
            out.error += ": " + detail.toStdString();
    }
    return out;
}

} // namespace lumora
