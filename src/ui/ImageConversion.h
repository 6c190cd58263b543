#pragma once
// Matrices as toolkit images: the one conversion every shown picture goes through (preview, thumbnails,
// pins' pictures).

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <opencv2/core.hpp>

namespace lumora {

// An 8-bit BGR, BGRA or grey matrix as a toolkit image of its own; null for anything else.
QImage toQImage(const cv::Mat& image);

// Any depth, converted to 8 bits and scaled (bilinear) to fit `box` keeping its aspect; null when empty.
QPixmap thumbnailPixmap(const cv::Mat& image, QSize box);

} // namespace lumora
