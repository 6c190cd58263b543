// corrupted_media_survey: what the damaged files of the corrupted-media test do to the image libraries when
// they run inside the reading process. Each mutant is read in a forked child, once through the whole reader
// chain and once through each library alone, under a 4 GiB address-space limit and a 60 s alarm; the table
// counts clean results, unreadable files, crashes (by signal), hangs and other exits.
//
//   corrupted_media_survey [--count N] [--keep DIR] [FORMAT...]     FORMAT: jpeg png tiff8 tiff16 bmp psd hdr
//   raw

#include "CorruptedMedia.h"

#include "imageio/ImageFile.h"
#include "imageio/LibraryAdapters.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace lumora;
using namespace lumora::test;

enum ChildExit { kUnreadable = 10, kValid = 11, kOddImage = 12 };

// Runs `read` in a child process and names how it ended.
std::string inChild(const std::function<cv::Mat()>& read) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        rlimit memory{rlim_t(4) << 30, rlim_t(4) << 30};
        setrlimit(RLIMIT_AS, &memory);
        rlimit core{0, 0};
        setrlimit(RLIMIT_CORE, &core);
        // Library chatter about damaged files is not what is surveyed.
        if (std::freopen("/dev/null", "w", stdout) == nullptr ||
            std::freopen("/dev/null", "w", stderr) == nullptr)
            _exit(99);
        alarm(60);
        cv::Mat image;
        try {
            image = read();
        } catch (...) {
            _exit(13);
        }
        _exit(image.empty() ? kUnreadable : acceptableImage(image) ? kValid : kOddImage);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
        case kUnreadable:
            return "unreadable";
        case kValid:
            return "valid";
        case kOddImage:
            return "odd image";
        case 13:
            return "exception";
        default:
            return "exit " + std::to_string(WEXITSTATUS(status));
        }
    }
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGALRM)
            return "hang";
        return std::string("crash ") + sigabbrev_np(sig);
    }
    return "?";
}

bool isFailure(const std::string& outcome) {
    return outcome != "unreadable" && outcome != "valid";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int count = 200;
    std::string keep;
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc)
            count = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else
            wanted.push_back(arg);
    }
    QTemporaryDir temporary;
    const std::string dir = keep.empty() ? temporary.path().toStdString() : keep;

    struct Entry {
        std::string name, extension;
        Bytes base;
        bool preview;
    };
    std::vector<Entry> entries;
    for (const StillFormat& f : stillFormats()) {
        const std::string file = dir + "/base-" + f.name + "." + f.extension;
        if (!writeImage(file, baseImage(f.type)).ok) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
        entries.push_back({f.name, f.extension, readFileBytes(file), false});
    }
    if (!rawBaseFile().empty())
        entries.push_back({"raw", "cr2", readFileBytes(rawBaseFile()), true});

    using Reader = std::function<cv::Mat(const std::string&, bool)>;
    const std::vector<std::pair<std::string, Reader>> readers{
        {"chain", [](const std::string& p, bool preview) { return readImageInProcess(p, preview); }},
        {"DevIL", [](const std::string& p, bool) { return imageio::devil::read(p); }},
        {"OpenCV", [](const std::string& p, bool) { return imageio::opencv::read(p); }},
        {"FreeImage",
         [](const std::string& p, bool preview) { return imageio::freeimage::read(p, preview); }},
    };

    std::printf("%-7s %-10s %6s %6s %6s %s\n", "format", "reader", "valid", "unread", "failed", "failures");
    for (const Entry& e : entries) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), e.name) == wanted.end())
            continue;
        const auto start = std::chrono::steady_clock::now();
        std::map<std::string, std::map<std::string, int>> outcomes; // reader -> outcome -> count
        std::map<std::string, std::vector<std::string>>
            failures; // reader -> "m012 (bit flips): crash SIGSEGV"
        for (int i = 0; i < count; ++i) {
            const Mutant m = mutate(e.base, e.name, i);
            char name[32];
            std::snprintf(name, sizeof name, "m%03d", i);
            const std::string file = dir + "/" + e.name + "-" + name + "." + e.extension;
            writeFileBytes(file, m.bytes);
            for (const auto& [readerName, reader] : readers) {
                // Raw files have one reader, LibRaw, inside the chain.
                if (e.name == "raw" && readerName != "chain")
                    continue;
                const std::string outcome = inChild([&, r = reader] { return r(file, e.preview); });
                ++outcomes[readerName][outcome];
                if (isFailure(outcome))
                    failures[readerName].push_back(std::string(name) + " (" + mutationName(m.mutation) +
                                                   "): " + outcome);
            }
            if (keep.empty())
                std::remove(file.c_str());
        }
        for (const auto& [readerName, _] : readers) {
            if (!outcomes.count(readerName))
                continue;
            auto& o = outcomes[readerName];
            const int failed = count - o["valid"] - o["unreadable"];
            std::string summary;
            for (const auto& [outcome, n] : o)
                if (isFailure(outcome))
                    summary += outcome + " " + std::to_string(n) + "; ";
            std::printf("%-7s %-10s %6d %6d %6d %s\n", e.name.c_str(), readerName.c_str(), o["valid"],
                        o["unreadable"], failed, summary.c_str());
        }
        for (const auto& [readerName, list] : failures) {
            std::printf("  %s %s:", e.name.c_str(), readerName.c_str());
            for (size_t k = 0; k < list.size() && k < 12; ++k)
                std::printf(" %s;", list[k].c_str());
            std::printf(list.size() > 12 ? " ...\n" : "\n");
        }
        std::printf("  %s: %.1f s\n", e.name.c_str(),
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        std::fflush(stdout);
    }
    return 0;
}
