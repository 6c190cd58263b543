#include "FuzzTargets.h"

#include "imageio/ImageFile.h"
#include "imageio/ImageLimits.h"
#include "imageio/LibraryAdapters.h"

#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace lumora::fuzz {
namespace {

// The input as a file in memory, named through /proc: both libraries open files by name.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(::memfd_create("lumora-photo-fuzz", 0)) {
        std::size_t done = 0;
        while (fd_ >= 0 && done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0)
                break;
            done += std::size_t(n);
        }
        complete_ = fd_ >= 0 && done == size;
    }
    ~MemoryFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    bool complete() const { return complete_; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
    bool complete_ = false;
};

bool colourWithin(const cv::Mat& image, int type) {
    return image.type() == type && withinImageLimits(image.cols, image.rows);
}

} // namespace

int fuzzPhotoDecoders(const std::uint8_t* data, std::size_t size) {
    const MemoryFile file(data, size);
    if (!file.complete())
        return 0;
    cv::Mat image;
    std::string why;
    switch (imageio::heif::read(file.path(), &image, &why)) {
    case imageio::ReaderOutcome::Read:
        if (!colourWithin(image, CV_8UC3) && !colourWithin(image, CV_16UC3))
            return failed("libheif's image is not 8- or 16-bit colour within the limits");
        break;
    case imageio::ReaderOutcome::Refused:
        if (why.empty())
            return failed("a HEIF file was refused without a reason");
        break;
    case imageio::ReaderOutcome::NotMine:
        break;
    }
    image.release();
    why.clear();
    switch (imageio::exr::read(file.path(), &image, &why)) {
    case imageio::ReaderOutcome::Read:
        if (!colourWithin(image, CV_32FC3))
            return failed("OpenEXR's image is not float colour within the limits");
        if (cv::checkRange(image) == false)
            return failed("OpenEXR's image holds infinities or NaNs");
        break;
    case imageio::ReaderOutcome::Refused:
        if (why.empty())
            return failed("an OpenEXR file was refused without a reason");
        break;
    case imageio::ReaderOutcome::NotMine:
        break;
    }
    const cv::Mat raw = decodeRaw(file.path(), true);
    if (!raw.empty() && (!colourWithin(raw, CV_16UC3) || raw.cols % 2 != 0))
        return failed("LibRaw's preview is not 16-bit colour of an even width within the limits");
    return 0;
}

} // namespace lumora::fuzz
