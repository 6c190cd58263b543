// Camera raw files are developed by LibRaw, in the decoding helper like every other image, with the settings
// dcraw was run with before: camera white balance, 16 bits, wide-gamut output, gamma 2.4 with toe slope
// 12.92, rebuilt highlights, and AHD interpolation (bilinear at half size for previews).

#include "app/EventLog.h"
#include "imageio/ImageFile.h"
#include "imageio/ImageLimits.h"

#include <libraw/libraw.h>

#include <opencv2/imgproc.hpp>

#include <memory>

namespace lumora {
namespace {

// Settings as dcraw's "-w -6 -o 3 -g 2.4 12.92 -H 5" and "-q 3", or "-q 0 -h" for a preview.
void applyDevelopSettings(libraw_output_params_t& params, bool preview) {
    params.use_camera_wb = 1;
    params.output_bps = 16;
    params.output_color = 3; // wide-gamut RGB
    params.gamm[0] = 1.0 / 2.4;
    params.gamm[1] = 12.92;
    params.highlight = 5; // rebuild
    params.user_qual = preview ? 0 : 3;
    params.half_size = preview ? 1 : 0;
}

std::string librawError(int code) {
    return std::string("LibRaw: ") + libraw_strerror(code);
}

} // namespace

cv::Mat decodeRaw(const std::string& path, bool preview) {
    // Large (a few hundred kilobytes of state): on the heap, not the stack.
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    applyDevelopSettings(raw->imgdata.params, preview);
    const auto fail = [&](const std::string& why) {
        logError("decodeRaw", path + ": " + why);
        return cv::Mat();
    };
    int code = raw->open_file(path.c_str());
    if (code != LIBRAW_SUCCESS)
        return fail(librawError(code));
    // Sizes from LibRaw's parse, checked before the sensor data is unpacked into memory.
    const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
    if (!withinImageLimits(sizes.raw_width, sizes.raw_height) ||
        !withinImageLimits(sizes.width, sizes.height))
        return fail("the sensor declares " + std::to_string(sizes.raw_width) + " x " +
                    std::to_string(sizes.raw_height) + " pixels, more than Lumora decodes");
    if ((code = raw->unpack()) != LIBRAW_SUCCESS || (code = raw->dcraw_process()) != LIBRAW_SUCCESS)
        return fail(librawError(code));
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> developed(
        raw->dcraw_make_mem_image(&code), &LibRaw::dcraw_clear_mem);
    if (!developed || code != LIBRAW_SUCCESS)
        return fail(librawError(code));
    if (developed->type != LIBRAW_IMAGE_BITMAP || developed->colors != 3 || developed->bits != 16 ||
        !withinImageLimits(developed->width, developed->height))
        return fail("LibRaw's output is not a 16-bit colour image");
    // Developed images always have an even width: an odd last column is dropped.
    const int evenWidth = developed->width & ~1;
    if (evenWidth == 0)
        return fail("the developed image is too narrow");
    const cv::Mat rgb(developed->height, developed->width, CV_16UC3, developed->data,
                      std::size_t(developed->width) * 6);
    cv::Mat bgr;
    cv::cvtColor(rgb.colRange(0, evenWidth), bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

} // namespace lumora
