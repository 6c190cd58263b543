#include "FuzzTargets.h"

#include "imageio/DecodeProtocol.h"
#include "imageio/ImageLimits.h"

#include <algorithm>
#include <cstring>
#include <opencv2/core.hpp>
#include <string>

namespace lumora::fuzz {
namespace {

using namespace lumora::decode;

int fail(const char* what, const char* how) {
    return failed((std::string(what) + " " + how).c_str());
}

// One message kind end to end. A rejection always has a reason; an accepted message obeys `rules`, its wire
// form is canonical (encoding the parsed message gives back the very bytes, which parse to the same message),
// and every strict beginning of it asks for more bytes: a reader that waits never rejects a message that is
// still arriving. Beginnings are checked up to 40 bytes and around the variable-length tail.
template <typename Message, typename Parse, typename Encode, typename Rules>
int checkMessage(const char* what, const std::uint8_t* data, std::size_t size, Parse parse, Encode encode,
                 Rules rules) {
    Message m;
    std::size_t consumed = 0;
    std::string error;
    const ParseStatus status = parse(data, size, &m, &consumed, &error);
    if (status == ParseStatus::Invalid && error.empty())
        return fail(what, "rejected without a reason");
    if (status != ParseStatus::Complete)
        return 0;
    if (consumed == 0 || consumed > size)
        return fail(what, "consumed more bytes than it had");
    if (const char* broken = rules(m))
        return fail(what, broken);
    const Bytes again = encode(m);
    if (again.size() != consumed || std::memcmp(again.data(), data, consumed) != 0)
        return fail(what, "re-encodes to other bytes");
    Message second;
    std::size_t secondConsumed = 0;
    if (parse(again.data(), again.size(), &second, &secondConsumed, &error) != ParseStatus::Complete ||
        !(second == m) || secondConsumed != consumed)
        return fail(what, "parses differently once re-encoded");
    for (std::size_t n = 0; n < consumed; n = n < 40 ? n + 1 : std::max(n + 1, consumed - 2)) {
        Message ignored;
        std::size_t c = 0;
        if (parse(data, n, &ignored, &c, &error) != ParseStatus::NeedMore)
            return fail(what, "is rejected while it is still arriving");
    }
    return 0;
}

const char* requestRules(const Request& r) {
    return r.path.size() > kMaxPathBytes || r.path.find('\0') != std::string::npos
               ? "has a path outside the rules"
               : nullptr;
}

// The caller allocates pixelBytes() on the strength of an accepted header.
const char* responseRules(const ResponseHeader& h) {
    if (h.status != Status::Ok)
        return h.pixelBytes() != 0 ? "announces pixels for a failure" : nullptr;
    if (!withinImageLimits(h.cols, h.rows) || !isTransportableType(h.type))
        return "accepts an image outside the limits";
    const std::size_t expected = std::size_t(h.rows) * std::size_t(h.cols) * CV_ELEM_SIZE(h.type);
    return h.pixelBytes() != expected || expected == 0 ? "counts its pixel bytes wrongly" : nullptr;
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
    checkMessage<Request>("a request", data, size, parseRequest, encodeRequest, requestRules);
    checkMessage<ResponseHeader>("a response header", data, size, parseResponseHeader, encodeResponseHeader,
                                 responseRules);
    checkEncoders(data, size);
    return 0;
}

} // namespace lumora::fuzz
