// libFuzzer entry point; the harness body is shared with the regression replay test.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumora::fuzz::fuzzPhotoDecoders(data, size);
}
