#pragma once
// The geometric and blending steps of the render pipeline around the operator: rotation, crop, strength
// blend and black/white clipping. Each returns a new image and leaves its input untouched.

#include <opencv2/core.hpp>

namespace lumora {

// Size of an image of `size` rotated by `angle` radians about its centre: the bounding box of the four
// rotated corner pixels plus one in each direction.
cv::Size rotatedSize(cv::Size size, float angle);

// How a geometric step samples its input: bilinear for pictures, nearest for maps whose values are labels or
// counts that must not blend with their neighbours.
enum class Sampling { Bilinear, Nearest };

// Rotates about ((w - 1) / 2, (h - 1) / 2) into an image of rotatedSize(); black outside. A positive angle
// turns the picture counter-clockwise. Angle 0 returns the input itself.
cv::Mat rotateImage(const cv::Mat& image, float angle, Sampling sampling = Sampling::Bilinear);

// The part of `crop` that lies inside an image of `size`; empty when none does.
cv::Rect clippedCrop(const cv::Rect& crop, cv::Size size);

// The picture's geometry at full resolution: `image` (in the light image's geometry) rotated by `angle`,
// then cut to `crop` (in pixels of the rotated image) when that is a valid crop. Shares data with the input
// where it can.
cv::Mat applyGeometry(const cv::Mat& image, float angle, const cv::Rect& crop,
                      Sampling sampling = Sampling::Bilinear);

// A full-resolution crop rectangle moved into a preview whose rotated image is `previewSize`, for a
// full-resolution rotated size of rotatedWidth x rotatedHeight (coordinates truncated).
cv::Rect previewCrop(const cv::Rect& crop, cv::Size previewSize, int rotatedWidth, int rotatedHeight);

// untoned * (1 - strength) + toned * strength, per sample. Strength 0 gives the untoned image and 1 the
// toned one exactly; then the result shares data with that input (the next step copies it anyway).
cv::Mat blendStrength(const cv::Mat& untoned, const cv::Mat& toned, float strength);

// Per pixel, with m the mean of its channels and full the depth's white (255, 65535 or 1.0): m below
// blackClip * full makes the pixel 0; otherwise, when whiteClip is not 0 and m is above full - whiteClip *
// full, the pixel becomes full. Other depths are returned unchanged (as a copy).
cv::Mat clipBlackWhite(const cv::Mat& image, float blackClip, float whiteClip, int workers = 1);

} // namespace lumora
