#pragma once
// The messages between Lumora and its lumora-decode helper: a request names one file to read, a response
// carries the outcome and then the pixels. Both sides treat every byte from the other as untrusted: the
// parsers check sizes, types and limits before anything is allocated.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumora::decode {

using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kRequestMagic = 0x51524d4c;  // "LMRQ" on the wire
constexpr std::uint32_t kResponseMagic = 0x53524d4c; // "LMRS"
constexpr std::uint32_t kProtocolVersion = 1;
constexpr std::size_t kMaxPathBytes = 16 * 1024;
constexpr std::size_t kMaxErrorBytes = 4 * 1024;

enum class RequestKind : std::uint32_t { Read = 1, Fault = 2 };

// Deliberate misbehaviour for the tests of the pool; a helper obeys only when started with its test switch.
// Escape tries what a sandboxed decoder must not manage (a loopback connection, a file write) and reports
// how it went; its path is "<port>|<folder>".
enum class Fault : std::uint32_t { None = 0, Crash = 1, Abort = 2, Allocate = 3, Hang = 4, Escape = 5 };

struct Request {
    RequestKind kind = RequestKind::Read;
    bool preview = false;
    Fault fault = Fault::None;
    std::string path;
    bool operator==(const Request& o) const {
        return kind == o.kind && preview == o.preview && fault == o.fault && path == o.path;
    }
};

enum class Status : std::uint32_t {
    Ok = 0,
    Unreadable = 1, // no reader could decode the file
    Refused = 2,    // not a regular file, or larger than Lumora reads
};

// Followed by pixelBytes() bytes of continuous pixel rows when the status is Ok.
struct ResponseHeader {
    Status status = Status::Unreadable;
    int rows = 0;
    int cols = 0;
    int type = 0; // an OpenCV matrix type: 8U, 16U or 32F with 1 or 3 channels
    std::string error;
    std::size_t pixelBytes() const;
    bool operator==(const ResponseHeader& o) const {
        return status == o.status && rows == o.rows && cols == o.cols && type == o.type && error == o.error;
    }
};

enum class ParseStatus { Complete, NeedMore, Invalid };

Bytes encodeRequest(const Request& request);
// Reads one request from the start of `data`. Complete: `*out` holds it and `*consumed` its length. NeedMore:
// the bytes so far are a valid beginning. Invalid: `*error` says why; the stream cannot be trusted any
// further.
ParseStatus parseRequest(const unsigned char* data, std::size_t size, Request* out, std::size_t* consumed,
                         std::string* error);

// Error texts longer than the limit are cut.
Bytes encodeResponseHeader(const ResponseHeader& header);
ParseStatus parseResponseHeader(const unsigned char* data, std::size_t size, ResponseHeader* out,
                                std::size_t* consumed, std::string* error);

// True for the matrix types a response may carry.
bool isTransportableType(int type);

} // namespace lumora::decode
