// lumora-decode: reads photos and raw files for Lumora in a separate process, so an image library that
// crashes, hangs or runs out of memory on a bad file takes down only this helper. Lumora starts it (inside
// bwrap when available), sends requests on standard input and reads images from standard output.

#include "app/ImageMemory.h"
#include "imageio/DecodeServer.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define LUMORA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMORA_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

} // namespace

int main(int argc, char** argv) {
    lumora::decode::ServeOptions options;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        if (startsWith(argv[i], "--cpu-seconds="))
            options.cpuSecondsPerRequest = std::atoi(argv[i] + 14);
        else if (startsWith(argv[i], "--address-space="))
            options.addressSpaceBytes = std::strtoull(argv[i] + 16, nullptr, 10);
        else if (std::strcmp(argv[i], "--allow-faults") == 0)
            options.allowFaults = true;
        else if (std::strcmp(argv[i], "--check") == 0)
            check = true;
        else {
            std::fprintf(stderr, "lumora-decode: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
#ifdef LUMORA_ADDRESS_SANITIZER
    // The sanitizer reserves terabytes of shadow memory up front; an address-space ceiling would break it.
    options.addressSpaceBytes = 0;
#else
    options.captureLibraryOutput = true;
#endif
    // OpenCV reads its size limits from the environment when its codecs are loaded, which happens on the
    // first read, after this: the helper's readers rely on them.
    lumora::decode::setOpenCvLimits();
    if (check)
        return 0;
    lumora::useLargePagesForImages(lumora::kOneAtATimeImageBytes);

    // Ends with Lumora, even when Lumora is killed (had it already gone, the closed socket ends the loop).
    prctl(PR_SET_PDEATHSIG, SIGKILL);

    // The protocol keeps private copies of standard input and output; anything a library prints goes to
    // standard error instead of into the pixel stream.
    const int input = fcntl(0, F_DUPFD_CLOEXEC, 3);
    const int output = fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (input < 0 || output < 0)
        return 2;
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing >= 0) {
        dup2(nothing, 0);
        close(nothing);
    }
    dup2(2, 1);

    if (!lumora::decode::applyProcessLimits(options))
        std::fprintf(stderr, "lumora-decode: a resource limit could not be set\n");
    QCoreApplication app(argc, argv);
    return lumora::decode::serveRequests(input, output, options);
}
