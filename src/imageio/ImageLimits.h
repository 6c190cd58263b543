#pragma once
// The largest image Lumora agrees to decode: a file declaring more is refused before any library allocates
// for it, and a decoder that hands back more is not believed.

namespace lumora {

inline constexpr long long kMaxImageSide = 65535;
inline constexpr long long kMaxImagePixels = 1LL << 27;

// True when a width x height image may be decoded: both sides positive and at most kMaxImageSide, and at
// most kMaxImagePixels pixels. 64-bit throughout, so header values near the 32-bit limits cannot wrap.
constexpr bool withinImageLimits(long long width, long long height) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

} // namespace lumora
