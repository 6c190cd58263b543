#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

namespace lumora::fuzz {
namespace {

void abortWith(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

FailureHandler& handler() {
    static FailureHandler h = abortWith;
    return h;
}

} // namespace

void setFailureHandler(FailureHandler h) {
    handler() = h ? h : abortWith;
}

int failed(const char* what) {
    handler()(what);
    return 0;
}

} // namespace lumora::fuzz
