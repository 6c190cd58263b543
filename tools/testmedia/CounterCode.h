#pragma once
// Frame-index code stamped into the counter test clips, and its reader. Tests use the reader to check that a
// decoded frame is exactly the frame they asked for, whatever the codec did to the pixels.
//
// Layout (on a 320x240 reference frame, scaled to the real frame size): a grey panel near the bottom holds
// two rows of 16 squares. The first 4 columns are a fixed start marker, the other 12 carry the index, most
// significant bit first; white = 1, black = 0. The second row repeats the first one inverted, so every column
// must read white/black or black/white: a misread square or a frame without a code fails that check.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace lumora::testmedia {

namespace countercode {

constexpr double kRefWidth = 320.0;
constexpr double kRefHeight = 240.0;
constexpr int kMarkerCells = 4;
constexpr int kDataBits = 12;
constexpr int kCells = kMarkerCells + kDataBits;
constexpr int kMaxIndex = (1 << kDataBits) - 1;
constexpr std::array<int, kMarkerCells> kMarker{1, 0, 1, 1}; // asymmetric, so a mirrored frame fails

// Reference geometry in pixels of the 320x240 frame.
constexpr double kPanelX = 8, kPanelY = 160, kPanelW = 304, kPanelH = 72;
constexpr double kCellX = 16, kCellW = 18;
constexpr std::array<double, 2> kRowY{166, 200};
constexpr double kRowH = 28;
constexpr double kGap = 2; // grey shows between squares so codec ringing does not join them

// Rectangle of a reference-geometry box in a frame of `size`.
inline cv::Rect scaledRect(double x, double y, double w, double h, cv::Size size) {
    const double sx = size.width / kRefWidth;
    const double sy = size.height / kRefHeight;
    const int x0 = static_cast<int>(std::lround(x * sx));
    const int y0 = static_cast<int>(std::lround(y * sy));
    const int x1 = static_cast<int>(std::lround((x + w) * sx));
    const int y1 = static_cast<int>(std::lround((y + h) * sy));
    return cv::Rect(x0, y0, x1 - x0, y1 - y0);
}

// The white/black square of row 0 or 1, column `cell`.
inline cv::Rect squareRect(int row, int cell, cv::Size size) {
    return scaledRect(kCellX + cell * kCellW + kGap, kRowY[row] + kGap, kCellW - 2 * kGap, kRowH - 2 * kGap,
                      size);
}

// Bit shown in row 0 for column `cell` (row 1 shows its inverse).
inline int cellBit(int cell, int index) {
    if (cell < kMarkerCells)
        return kMarker[cell];
    return (index >> (kDataBits - 1 - (cell - kMarkerCells))) & 1;
}

// Mean luma of the middle half of a square; the edges are where compression smears.
inline double sampleSquare(const cv::Mat& image, int row, int cell) {
    const cv::Rect sq = squareRect(row, cell, image.size());
    const cv::Rect inner(sq.x + sq.width / 4, sq.y + sq.height / 4, std::max(1, sq.width / 2),
                         std::max(1, sq.height / 2));
    const cv::Scalar m = cv::mean(image(inner & cv::Rect(0, 0, image.cols, image.rows)));
    if (image.channels() == 1)
        return m[0];
    return 0.114 * m[0] + 0.587 * m[1] + 0.299 * m[2];
}

} // namespace countercode

// Draws the code for `index` (0..4095) into an 8-bit BGR frame.
inline void drawCounterCode(cv::Mat& bgr, int index) {
    using namespace countercode;
    CV_Assert(bgr.type() == CV_8UC3 && index >= 0 && index <= kMaxIndex);
    cv::rectangle(bgr, scaledRect(kPanelX, kPanelY, kPanelW, kPanelH, bgr.size()), cv::Scalar::all(128),
                  cv::FILLED);
    for (int cell = 0; cell < kCells; ++cell) {
        const int bit = cellBit(cell, index);
        for (int row = 0; row < 2; ++row) {
            const bool white = (row == 0) ? bit != 0 : bit == 0;
            cv::rectangle(bgr, squareRect(row, cell, bgr.size()), cv::Scalar::all(white ? 255 : 0),
                          cv::FILLED);
        }
    }
}

// Reads the index from a decoded frame (8- or 16-bit, 1, 3 or 4 channels); -1 when no valid code is found.
inline int decodeCounterIndex(const cv::Mat& bgr) {
    using namespace countercode;
    if (bgr.empty() || bgr.dims != 2 || bgr.cols < 64 || bgr.rows < 48)
        return -1;
    const int ch = bgr.channels();
    if ((bgr.depth() != CV_8U && bgr.depth() != CV_16U) || (ch != 1 && ch != 3 && ch != 4))
        return -1;
    const double unit = (bgr.depth() == CV_16U) ? 257.0 : 1.0; // compare on the 8-bit scale

    std::array<std::array<double, kCells>, 2> v{};
    for (int row = 0; row < 2; ++row)
        for (int cell = 0; cell < kCells; ++cell)
            v[row][cell] = sampleSquare(bgr, row, cell) / unit;

    // The marker gives the white and black levels of this frame.
    double white = 255.0, black = 0.0;
    for (int cell = 0; cell < kMarkerCells; ++cell) {
        for (int row = 0; row < 2; ++row) {
            const bool isWhite = (row == 0) == (kMarker[cell] != 0);
            if (isWhite)
                white = std::min(white, v[row][cell]);
            else
                black = std::max(black, v[row][cell]);
        }
    }
    const double contrast = white - black;
    if (contrast < 80.0)
        return -1;

    int index = 0;
    for (int cell = kMarkerCells; cell < kCells; ++cell) {
        const double d = v[0][cell] - v[1][cell];
        if (std::abs(d) < 0.5 * contrast)
            return -1; // both squares alike: not a clean complementary pair
        index = (index << 1) | (d > 0 ? 1 : 0);
    }
    return index;
}

} // namespace lumora::testmedia
