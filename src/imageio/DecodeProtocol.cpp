#include "imageio/DecodeProtocol.h"

#include "imageio/ImageLimits.h"

#include <opencv2/core.hpp>

#include <cstring>

namespace lumora::decode {
namespace {

// Fixed little-endian 32-bit fields: both ends run on the same machine, but a fixed layout keeps the parser
// independent of struct padding and lets the fuzzer reach every field.
void put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

std::uint32_t get32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

constexpr std::size_t kRequestFixed = 6 * 4;
constexpr std::size_t kResponseFixed = 7 * 4;

ParseStatus invalid(std::string* error, const char* why) {
    if (error)
        *error = why;
    return ParseStatus::Invalid;
}

} // namespace

bool isTransportableType(int type) {
    switch (type) {
    case CV_8UC1:
    case CV_8UC3:
    case CV_16UC1:
    case CV_16UC3:
    case CV_32FC1:
    case CV_32FC3:
        return true;
    default:
        return false;
    }
}

std::size_t ResponseHeader::pixelBytes() const {
    if (status != Status::Ok || !isTransportableType(type) || rows <= 0 || cols <= 0)
        return 0;
    return std::size_t(rows) * std::size_t(cols) * CV_ELEM_SIZE(type);
}

Bytes encodeRequest(const Request& request) {
    Bytes out;
    const std::size_t pathBytes = std::min(request.path.size(), kMaxPathBytes);
    out.reserve(kRequestFixed + pathBytes);
    put32(out, kRequestMagic);
    put32(out, kProtocolVersion);
    put32(out, static_cast<std::uint32_t>(request.kind));
    put32(out, request.preview ? 1u : 0u);
    put32(out, static_cast<std::uint32_t>(request.fault));
    put32(out, static_cast<std::uint32_t>(pathBytes));
    out.insert(out.end(), request.path.begin(),
               request.path.begin() + static_cast<std::ptrdiff_t>(pathBytes));
    return out;
}

ParseStatus parseRequest(const unsigned char* data, std::size_t size, Request* out, std::size_t* consumed,
                         std::string* error) {
    // Each field is checked as soon as it has arrived, so garbage is rejected without waiting for more.
    if (size >= 4 && get32(data) != kRequestMagic)
        return invalid(error, "not a decode request");
    if (size >= 8 && get32(data + 4) != kProtocolVersion)
        return invalid(error, "unknown protocol version");
    if (size >= 12) {
        const std::uint32_t kind = get32(data + 8);
        if (kind != std::uint32_t(RequestKind::Read) && kind != std::uint32_t(RequestKind::Fault))
            return invalid(error, "unknown request kind");
    }
    if (size >= 16 && get32(data + 12) > 1)
        return invalid(error, "unknown request flags");
    if (size >= 20 && get32(data + 16) > std::uint32_t(Fault::Escape))
        return invalid(error, "unknown fault");
    if (size >= 24 && get32(data + 20) > kMaxPathBytes)
        return invalid(error, "path too long");
    if (size < kRequestFixed)
        return ParseStatus::NeedMore;
    const std::size_t pathBytes = get32(data + 20);
    if (size < kRequestFixed + pathBytes)
        return ParseStatus::NeedMore;
    const char* path = reinterpret_cast<const char*>(data + kRequestFixed);
    if (std::memchr(path, '\0', pathBytes) != nullptr)
        return invalid(error, "path holds a NUL byte");

    Request r;
    r.kind = static_cast<RequestKind>(get32(data + 8));
    r.preview = get32(data + 12) == 1;
    r.fault = static_cast<Fault>(get32(data + 16));
    r.path.assign(path, pathBytes);
    if (r.kind == RequestKind::Read && r.path.empty())
        return invalid(error, "read request without a path");
    if (out)
        *out = std::move(r);
    if (consumed)
        *consumed = kRequestFixed + pathBytes;
    return ParseStatus::Complete;
}

Bytes encodeResponseHeader(const ResponseHeader& header) {
    Bytes out;
    const std::size_t errorBytes = std::min(header.error.size(), kMaxErrorBytes);
    out.reserve(kResponseFixed + errorBytes);
    put32(out, kResponseMagic);
    put32(out, kProtocolVersion);
    put32(out, static_cast<std::uint32_t>(header.status));
    put32(out, static_cast<std::uint32_t>(header.rows));
    put32(out, static_cast<std::uint32_t>(header.cols));
    put32(out, static_cast<std::uint32_t>(header.type));
    put32(out, static_cast<std::uint32_t>(errorBytes));
    out.insert(out.end(), header.error.begin(),
               header.error.begin() + static_cast<std::ptrdiff_t>(errorBytes));
    return out;
}

ParseStatus parseResponseHeader(const unsigned char* data, std::size_t size, ResponseHeader* out,
                                std::size_t* consumed, std::string* error) {
    if (size >= 4 && get32(data) != kResponseMagic)
        return invalid(error, "not a decode response");
    if (size >= 8 && get32(data + 4) != kProtocolVersion)
        return invalid(error, "unknown protocol version");
    if (size >= 12 && get32(data + 8) > std::uint32_t(Status::Refused))
        return invalid(error, "unknown status");
    if (size >= 28 && get32(data + 24) > kMaxErrorBytes)
        return invalid(error, "error text too long");
    if (size < kResponseFixed)
        return ParseStatus::NeedMore;

    ResponseHeader h;
    h.status = static_cast<Status>(get32(data + 8));
    const std::uint32_t rows = get32(data + 12), cols = get32(data + 16), type = get32(data + 20);
    if (h.status == Status::Ok) {
        // The pixels that follow are allocated from these numbers: they must describe an image Lumora
        // accepts.
        if (!withinImageLimits(rows, cols))
            return invalid(error, "image size outside the limits");
        if (type > std::uint32_t(CV_MAKETYPE(CV_DEPTH_MAX - 1, CV_CN_MAX)) || !isTransportableType(int(type)))
            return invalid(error, "pixel type not carried");
    } else if (rows != 0 || cols != 0 || type != 0) {
        return invalid(error, "failure with an image size");
    }
    h.rows = int(rows);
    h.cols = int(cols);
    h.type = int(type);
    const std::size_t errorBytes = get32(data + 24);
    if (size < kResponseFixed + errorBytes)
        return ParseStatus::NeedMore;
    h.error.assign(reinterpret_cast<const char*>(data + kResponseFixed), errorBytes);
    if (out)
        *out = std::move(h);
    if (consumed)
        *consumed = kResponseFixed + errorBytes;
    return ParseStatus::Complete;
}

} // namespace lumora::decode
