#pragma once
// The request loop of the lumora-decode helper: reads decode requests from one descriptor, runs the readers
// in this process and writes each outcome (with the pixels) to another. Lives in the library so the helper's
// main stays a few lines and the loop can be tested in-process.

#include <cstddef>

namespace lumora::decode {

struct ServeOptions {
    // Address-space ceiling for the whole helper, 0 for none (sanitizer builds cannot run under one).
    std::size_t addressSpaceBytes = std::size_t(4) << 30;
    // CPU seconds each request may use before the kernel stops the helper, 0 for no limit.
    int cpuSecondsPerRequest = 60;
    // Obeys Fault requests (crash, abort, allocate, hang); only the tests of the pool start helpers this way.
    bool allowFaults = false;
    // Takes what the image libraries print on the standard streams (libpng, libjpeg, libtiff, OpenCV) into
    // the log of the request that made them speak, instead of the terminal. Off in sanitizer builds, whose
    // reports must reach the terminal even when the helper dies.
    bool captureLibraryOutput = false;
};

// Applies the process-wide limits of `options` (address space, no core files). Returns false if the kernel
// refused one.
bool applyProcessLimits(const ServeOptions& options);

// OpenCV's imgcodecs reads its size limits (OPENCV_IO_MAX_IMAGE_WIDTH, _HEIGHT, _PIXELS) from the environment
// once, when its code is loaded (on the first read, imageio/CodecModule.h); the helper's readers rely on them
// being withinImageLimits(). Sets them for this process: call before any image is read, on one thread.
void setOpenCvLimits();

// Serves requests until the input ends (returns 0) or carries something that is not a request (returns 2).
int serveRequests(int inputFd, int outputFd, const ServeOptions& options);

} // namespace lumora::decode
