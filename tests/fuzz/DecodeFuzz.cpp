#include "FuzzTargets.h"

#include "imageio/DecodeProtocol.h"
#include "imageio/ImageLimits.h"

#include <algorithm>
#include <cstring>
#include <opencv2/core.hpp>

namespace lumora::fuzz {
namespace {

using namespace lumora::decode;

// Every strict beginning of a complete message is a valid beginning: a reader that waits for more bytes never
// rejects a message that is still arriving. Checked on the short prefixes and around the variable-length
// tail.
template <typename Parse> bool prefixesNeedMore(const std::uint8_t* data, std::size_t complete, Parse parse) {
    for (std::size_t n = 0; n < complete; n = n < 40 ? n + 1 : std::max(n + 1, complete - 2)) {
        std::string error;
        if (parse(data, n, &error) != ParseStatus::NeedMore)
            return false;
    }
    return true;
}

int checkRequest(const std::uint8_t* data, std::size_t size) {
    Request r;
    std::size_t consumed = 0;
    std::string error;
    const ParseStatus status = parseRequest(data, size, &r, &consumed, &error);
    if (status == ParseStatus::Invalid && error.empty())
        return failed("a request rejected without a reason");
    if (status != ParseStatus::Complete)
        return 0;
    if (consumed == 0 || consumed > size)
        return failed("a request consumed more bytes than it had");
    if (r.path.size() > kMaxPathBytes || r.path.find('\0') != std::string::npos)
        return failed("a request path outside the rules");
    // The wire form is canonical: encoding the parsed request gives back the very bytes.
    const Bytes again = encodeRequest(r);
    if (again.size() != consumed || std::memcmp(again.data(), data, consumed) != 0)
        return failed("a request re-encodes to other bytes");
    Request second;
    std::size_t secondConsumed = 0;
    if (parseRequest(again.data(), again.size(), &second, &secondConsumed, &error) != ParseStatus::Complete ||
        !(second == r) || secondConsumed != consumed)
        return failed("a re-encoded request parses differently");
    auto parse = [](const unsigned char* d, std::size_t n, std::string* e) {
        Request ignored;
        std::size_t c = 0;
        return parseRequest(d, n, &ignored, &c, e);
    };
    if (!prefixesNeedMore(data, consumed, parse))
        return failed("the beginning of a valid request is rejected");
    return 0;
}

int checkResponse(const std::uint8_t* data, std::size_t size) {
    ResponseHeader h;
    std::size_t consumed = 0;
    std::string error;
    const ParseStatus status = parseResponseHeader(data, size, &h, &consumed, &error);
    if (status == ParseStatus::Invalid && error.empty())
        return failed("a response rejected without a reason");
    if (status != ParseStatus::Complete)
        return 0;
    if (consumed == 0 || consumed > size)
        return failed("a response consumed more bytes than it had");
    if (h.status == Status::Ok) {
        // The caller allocates pixelBytes() on the strength of this header.
        if (!withinImageLimits(h.cols, h.rows) || !isTransportableType(h.type))
            return failed("an accepted image header outside the limits");
        const std::size_t expected = std::size_t(h.rows) * std::size_t(h.cols) * CV_ELEM_SIZE(h.type);
        if (h.pixelBytes() != expected || expected == 0)
            return failed("pixel byte count does not match the header");
    } else if (h.pixelBytes() != 0) {
        return failed("a failed response announces pixels");
    }
    const Bytes again = encodeResponseHeader(h);
    if (again.size() != consumed || std::memcmp(again.data(), data, consumed) != 0)
        return failed("a response header re-encodes to other bytes");
    ResponseHeader second;
    std::size_t secondConsumed = 0;
    if (parseResponseHeader(again.data(), again.size(), &second, &secondConsumed, &error) !=
            ParseStatus::Complete ||
        !(second == h) || secondConsumed != consumed)
        return failed("a re-encoded response header parses differently");
    auto parse = [](const unsigned char* d, std::size_t n, std::string* e) {
        ResponseHeader ignored;
        std::size_t c = 0;
        return parseResponseHeader(d, n, &ignored, &c, e);
    };
    if (!prefixesNeedMore(data, consumed, parse))
        return failed("the beginning of a valid response header is rejected");
    return 0;
}

std::uint32_t take32(const std::uint8_t*& p, const std::uint8_t* end) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4 && p < end; ++i)
        v |= std::uint32_t(*p++) << (8 * i);
    return v;
}

// The input as field values for the encoders: whatever is encoded and parses back must be what was sent.
int checkEncoders(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* p = data;
    const std::uint8_t* end = data + size;
    Request r;
    r.kind = take32(p, end) & 1 ? RequestKind::Read : RequestKind::Fault;
    r.preview = take32(p, end) & 1;
    r.fault = static_cast<Fault>(take32(p, end) % 5);
    ResponseHeader h;
    h.status = static_cast<Status>(take32(p, end) % 3);
    h.rows = int(take32(p, end));
    h.cols = int(take32(p, end));
    h.type = int(take32(p, end) % 64);
    const std::string tail(reinterpret_cast<const char*>(p), std::size_t(end - p));
    r.path = tail;
    h.error = tail;

    const Bytes request = encodeRequest(r);
    Request back;
    std::size_t consumed = 0;
    std::string error;
    if (parseRequest(request.data(), request.size(), &back, &consumed, &error) == ParseStatus::Complete) {
        Request sent = r;
        sent.path.resize(std::min(sent.path.size(), kMaxPathBytes));
        if (!(back == sent) || consumed != request.size())
            return failed("an encoded request parses as another one");
    } else if (r.path.size() <= kMaxPathBytes && r.path.find('\0') == std::string::npos &&
               !(r.kind == RequestKind::Read && r.path.empty())) {
        return failed("a well-formed request is not understood");
    }

    const Bytes response = encodeResponseHeader(h);
    ResponseHeader hBack;
    if (parseResponseHeader(response.data(), response.size(), &hBack, &consumed, &error) ==
        ParseStatus::Complete) {
        ResponseHeader sent = h;
        sent.error.resize(std::min(sent.error.size(), kMaxErrorBytes));
        if (!(hBack == sent) || consumed != response.size())
            return failed("an encoded response header parses as another one");
    }
    return 0;
}

} // namespace

int fuzzDecodeProtocol(const std::uint8_t* data, std::size_t size) {
    checkRequest(data, size);
    checkResponse(data, size);
    checkEncoders(data, size);
    return 0;
}

} // namespace lumora::fuzz
