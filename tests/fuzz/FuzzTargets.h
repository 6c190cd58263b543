#pragma once
// Bodies of the fuzz harnesses. Each takes one arbitrary input, feeds it to a parser of untrusted data and
// checks what must hold whatever the input; the libFuzzer entry points and the regression replay test both
// call them.

#include <cstddef>
#include <cstdint>

namespace lumora::fuzz {

// Preset documents through readPresetText, and their records written and read back.
int fuzzPresetFile(const std::uint8_t* data, std::size_t size);
// Language files: header, texts and version comparison.
int fuzzLanguageFile(const std::uint8_t* data, std::size_t size);
// The input as the settings INI file read through the typed getters.
int fuzzSettings(const std::uint8_t* data, std::size_t size);
// Decode helper requests and response headers: parsed, re-encoded and parsed again.
int fuzzDecodeProtocol(const std::uint8_t* data, std::size_t size);
// Image header probe on the first bytes of a file.
int fuzzImageHeader(const std::uint8_t* data, std::size_t size);
// The input as a photo file through libheif and as a raw file through LibRaw (preview), in this process.
int fuzzPhotoDecoders(const std::uint8_t* data, std::size_t size);

// Called when a harness sees a broken invariant. The default prints `what` and aborts (a finding for
// libFuzzer); the replay test installs a handler that records a test failure instead.
using FailureHandler = void (*)(const char* what);
void setFailureHandler(FailureHandler handler);
// Reports `what` through the handler; returns 0 so a harness can `return failed("...")`.
int failed(const char* what);

} // namespace lumora::fuzz
