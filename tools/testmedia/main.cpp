// lumora-testmedia: writes the deterministic clips, bursts and sidecars that the tests, the benchmarks and
// the demo run use. Reruns skip outputs whose stamp matches, so calling it before every test run is cheap.

#include "Jobs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void printLine(FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

int usageError(const QString& message) {
    printLine(stderr,
              QStringLiteral("lumora-testmedia: %1 (usage: lumora-testmedia OUTDIR [--set default|bench] "
                             "[--only NAME])")
                  .arg(message));
    return kExitUsage;
}

// --only accepts a job's name with or without its extension ("scene_720p" or "scene_720p.mp4").
bool matchesName(const lumora::testmedia::Job& job, const QString& name) {
    return job.name == name || QFileInfo(job.name).completeBaseName() == name;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);

    QString outDirPath, set = QStringLiteral("default"), only;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            printLine(stdout,
                      QStringLiteral("usage: lumora-testmedia OUTDIR [--set default|bench] [--only NAME]"));
            return 0;
        }
        if (a == QLatin1String("--set") || a == QLatin1String("--only")) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("%1 needs a value").arg(a));
            (a == QLatin1String("--set") ? set : only) = args.at(++i);
        } else if (a.startsWith(QLatin1Char('-')) || !outDirPath.isEmpty()) {
            return usageError(QStringLiteral("unexpected argument '%1'").arg(a));
        } else {
            outDirPath = a;
        }
    }
    if (outDirPath.isEmpty())
        return usageError(QStringLiteral("no output folder given"));
    if (set != QLatin1String("default") && set != QLatin1String("bench"))
        return usageError(QStringLiteral("unknown set '%1'").arg(set));

    // The bench set is the default set plus the large clips; --only picks from all jobs.
    std::vector<lumora::testmedia::Job> selected;
    for (auto& job : lumora::testmedia::allJobs()) {
        const bool wanted =
            only.isEmpty() ? (!job.benchOnly || set == QLatin1String("bench")) : matchesName(job, only);
        if (wanted)
            selected.push_back(std::move(job));
    }
    if (selected.empty())
        return usageError(QStringLiteral("no output named '%1'").arg(only));

    const QDir outDir(QDir(outDirPath).absolutePath());
    if (!outDir.mkpath(QStringLiteral("."))) {
        printLine(stderr, QStringLiteral("lumora-testmedia: cannot create %1").arg(outDir.path()));
        return kExitFailure;
    }

    QElapsedTimer total;
    total.start();
    for (const auto& job : selected) {
        if (lumora::testmedia::isUpToDate(job, outDir)) {
            printLine(stdout, QStringLiteral("%1: up to date").arg(job.name));
            continue;
        }
        QElapsedTimer timer;
        timer.start();
        QString error;
        if (!lumora::testmedia::runJob(job, outDir, &error)) {
            printLine(stderr, QStringLiteral("lumora-testmedia: %1").arg(error));
            return kExitFailure;
        }
        printLine(
            stdout,
            QStringLiteral("%1: written in %2 s").arg(job.name).arg(timer.elapsed() / 1000.0, 0, 'f', 1));
    }
    printLine(stdout, QStringLiteral("done in %1 s").arg(total.elapsed() / 1000.0, 0, 'f', 1));
    return 0;
}
