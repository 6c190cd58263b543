// lumora-cli: the engine of the window program without a window, for scripts, batch jobs and headless runs.

#include "CliCommands.h"
#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "app/ImageMemory.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <ctime>
#include <exception>
#include <malloc.h>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList&);
};

const Command kCommands[] = {
    {"info", "kind, size, frame count, frame rate and duration of a medium", lumora::cli::runInfo},
    {"presets", "list the built-in, default and user presets", lumora::cli::runPresets},
    {"frame", "write one frame of a medium to an image file, with its EXIF data", lumora::cli::runFrame},
    {"stack", "stack a frame with its neighbours into a light image file", lumora::cli::runStack},
    {"sharpest", "list the frames near a frame that are sharper than it", lumora::cli::runSharpest},
    {"tonemap", "tone-map a light image or photo at full size and write it", lumora::cli::runTonemap},
    {"render", "stack a frame of a medium, tone-map it and write the image", lumora::cli::runRender},
};

// The manual page is made from this text and the commands' own --help, so whatever a user should find in
// `man lumora-cli` belongs here.
void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: lumora-cli [--version] COMMAND [ARGS]\n"
                 "Makes high-dynamic-range pictures from video clips and photo bursts, without a window.\n"
                 "It runs the engine of the Lumora window, so the same choices give the same picture.\n"
                 "\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "'lumora-cli COMMAND --help' describes a command.\n"
                      "\nexit status:\n"
                      "  0  success\n"
                      "  1  the job failed: a medium could not be opened or read, or the result not written\n"
                      "  2  the command line is wrong: unknown command or option, missing or invalid value\n"
                      "\nexamples:\n"
                      "  lumora-cli info clip.mp4\n"
                      "  lumora-cli render clip.mp4 --index 30 -o moment.jpg\n"
                      "  lumora-cli render clip.mp4 --index 30 --quality fast --preset Soft -o quick.jpg\n"
                      "  lumora-cli stack photos/ --index 2 --before 2 --after 2 -o light.hdr\n"
                      "  lumora-cli tonemap light.hdr --operator 4 --exposure 20 -o light.tif --bits 16\n"
                      "  lumora-cli render hlg.mp4 --index 30 -o glow.avif --transfer pq --peak 1000\n"
                      "  lumora-cli sharpest clip.mp4 --index 30 --radius 5\n");
}

} // namespace

lumora::cli::StartTimes& lumora::cli::startTimes() {
    static StartTimes times;
    return times;
}

int main(int argc, char* argv[]) {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    lumora::cli::startTimes().load =
        static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9;
    lumora::cli::startTimes().sinceMain.start();
    // One job, then exit: large images (144 MB at 12 MP) are taken from the heap and its freed space reused,
    // instead of each being mapped afresh and every page faulted in and zeroed by the kernel.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    lumora::useLargePagesForImages(lumora::kOneAtATimeImageBytes);
    QCoreApplication app(argc, argv);
    lumora::applyIdentity(app);
    lumora::setLogDirectory(QDir::toNativeSeparators(lumora::userDataDirectory()).toStdString());

    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        printUsage(stderr);
        return 2;
    }
    const QString first = args.takeFirst();
    if (first == QLatin1String("--version")) {
        std::printf("lumora-cli %s\n", lumora::kApplicationVersion);
        return 0;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("help")) {
        printUsage(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (first == QLatin1String(c.name)) {
            try {
                return c.run(args);
            } catch (const std::exception& e) {
                lumora::logError("lumora-cli", e.what());
                std::fprintf(stderr, "lumora-cli %s: %s\n", c.name, e.what());
                return 1;
            }
        }
    }
    std::fprintf(stderr, "lumora-cli: unknown command '%s' (see --help)\n", first.toLocal8Bit().constData());
    return 2;
}
