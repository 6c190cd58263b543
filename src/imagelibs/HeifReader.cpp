// HEIF photos (HEIC from phones, AVIF) through libheif: the primary image only, turned and mirrored as the
// file says, 8 bits or 16 bits when the file stores more. The size comes from libheif's parse of the
// boxes and is checked before any pixel is decoded.

#include "imageio/ImageLimits.h"
#include "imageio/LibraryAdapters.h"

#include <libheif/heif.h>

#include <opencv2/imgproc.hpp>

#include <array>
#include <cstdio>
#include <memory>

namespace lumora::imageio::heif {
namespace {

// The first bytes of the file, as many as the brand check needs.
std::size_t readStart(const std::string& path, unsigned char* buffer, std::size_t size) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    return file ? std::fread(buffer, 1, size, file.get()) : 0;
}

std::string describe(const heif_error& error) {
    return error.message && *error.message ? error.message : "libheif error " + std::to_string(error.code);
}

template <auto Free> struct Releaser {
    template <typename T> void operator()(T* p) const {
        if (p)
            Free(p);
    }
};
using Context = std::unique_ptr<heif_context, Releaser<heif_context_free>>;
using Handle = std::unique_ptr<heif_image_handle, Releaser<heif_image_handle_release>>;
using Image = std::unique_ptr<heif_image, Releaser<heif_image_release>>;
using Options = std::unique_ptr<heif_decoding_options, Releaser<heif_decoding_options_free>>;

} // namespace

bool isHeif(const std::string& path) {
    std::array<unsigned char, 32> start{};
    const std::size_t got = readStart(path, start.data(), start.size());
    if (got < 12)
        return false;
    const heif_filetype_result type = heif_check_filetype(start.data(), int(got));
    return type == heif_filetype_yes_supported || type == heif_filetype_yes_unsupported;
}

Outcome read(const std::string& path, cv::Mat* image, std::string* error) {
    if (!isHeif(path))
        return Outcome::NotMine;
    const auto refuse = [&](const std::string& why) {
        *error = why;
        return Outcome::Refused;
    };
    Context context(heif_context_alloc());
    if (!context)
        return refuse("libheif could not start");
    // libheif refuses a side of this value or more while parsing, before it allocates for the image.
    heif_context_set_maximum_image_size_limit(context.get(), int(kMaxImageSide + 1));
    heif_error status = heif_context_read_from_file(context.get(), path.c_str(), nullptr);
    if (status.code != heif_error_Ok)
        return refuse(describe(status));

    heif_image_handle* primary = nullptr;
    status = heif_context_get_primary_image_handle(context.get(), &primary);
    Handle handle(primary);
    if (status.code != heif_error_Ok || !handle)
        return refuse(describe(status));
    // Both the stored size and the size after rotation and cropping; libheif checks only each side.
    const long long storedWidth = heif_image_handle_get_ispe_width(handle.get());
    const long long storedHeight = heif_image_handle_get_ispe_height(handle.get());
    const long long width = heif_image_handle_get_width(handle.get());
    const long long height = heif_image_handle_get_height(handle.get());
    if (!withinImageLimits(storedWidth, storedHeight) || !withinImageLimits(width, height))
        return refuse("the image declares " + std::to_string(storedWidth) + " x " +
                      std::to_string(storedHeight) + " pixels, more than Lumora decodes");

    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const bool deep = bits > 8;
    Options options(heif_decoding_options_alloc());
    if (!options)
        return refuse("libheif could not start");
    options->ignore_transformations = 0; // the picture comes out upright
    options->convert_hdr_to_8bit = 0;
    heif_image* decoded = nullptr;
    status = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                               deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB,
                               options.get());
    Image pixels(decoded);
    if (status.code != heif_error_Ok || !pixels)
        return refuse(describe(status));

    const int outWidth = heif_image_get_width(pixels.get(), heif_channel_interleaved);
    const int outHeight = heif_image_get_height(pixels.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(pixels.get(), heif_channel_interleaved, &stride);
    if (!plane || !withinImageLimits(outWidth, outHeight))
        return refuse("libheif returned no usable image");
    const cv::Mat rgb(outHeight, outWidth, deep ? CV_16UC3 : CV_8UC3, const_cast<uint8_t*>(plane),
                      std::size_t(stride));
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    if (deep) {
        // The samples hold `bits` significant bits; stretched so the file's white is 65535.
        const int stored = heif_image_get_bits_per_pixel_range(pixels.get(), heif_channel_interleaved);
        const int range = stored > 8 && stored <= 16 ? stored : bits;
        bgr.convertTo(bgr, CV_16UC3, 65535.0 / double((1 << range) - 1));
    }
    *image = bgr;
    return Outcome::Read;
}

} // namespace lumora::imageio::heif
