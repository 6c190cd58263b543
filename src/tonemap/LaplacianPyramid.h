#pragma once
// Whole-image pyramids of a one-channel float image with the 5-tap kernel (0.05, 0.25, 0.4, 0.25, 0.05):
// downsampling counts samples outside the image as 0 and keeps even rows and columns; upsampling spreads the
// coarse samples over the even positions and divides by the kernel weight that reached each position.

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace lumora {

inline constexpr std::array<float, 5> kPyramidTaps{0.05f, 0.25f, 0.4f, 0.25f, 0.05f};

// Levels of a full pyramid: 1, plus one per halving of min(rows, cols) ((m + 1) / 2) until it reaches 1.
int pyramidLevelCount(int rows, int cols);

// One level down: (rows + 1) / 2 x (cols + 1) / 2.
cv::Mat pyramidDown(const cv::Mat& image);
// Coarse level brought up to `fineSize` (whose even positions hold the coarse samples).
cv::Mat pyramidUp(const cv::Mat& coarse, cv::Size fineSize);

std::vector<cv::Mat> gaussianPyramid(const cv::Mat& image, int levels);
std::vector<cv::Mat> laplacianPyramid(const cv::Mat& image, int levels);
// Sums a Laplacian pyramid back into an image, from the coarsest level up. Consumes the levels.
cv::Mat collapsePyramid(std::vector<cv::Mat> levels);

} // namespace lumora
