#pragma once
// The three View panels' widgets, each fed plain data and knowing nothing of the window: the histogram of
// the picture shown, the tone curve over it, and the source's EXIF facts.

#include "export/ExifSummary.h"
#include "ui/PictureHistogram.h"

#include <QWidget>
#include <array>
#include <vector>

class QLabel;

namespace lumora {

// Luminance filled, the three channels as lines, and the clipped shares at each end as numbers.
class HistogramView : public QWidget {
    Q_OBJECT
public:
    explicit HistogramView(QWidget* parent = nullptr);
    void setHistogram(const PictureHistogram& histogram);
    const PictureHistogram& histogram() const { return histogram_; }
    // The clipped shares as shown, "black" and "white" ends of the luminance.
    QString clippedText() const;
    void refreshTexts();
    QSize sizeHint() const override { return {256, 150}; }

private:
    class Plot;
    PictureHistogram histogram_;
    Plot* plot_;
    QLabel* clipped_;
};

// The curve the tone controls make (output level for each input level, 0..1), drawn over the luminance
// histogram of the picture shown.
class ToneCurveView : public QWidget {
    Q_OBJECT
public:
    explicit ToneCurveView(QWidget* parent = nullptr);
    void setCurve(std::vector<float> curve, const PictureHistogram& histogram);
    const std::vector<float>& curve() const { return curve_; }
    QSize sizeHint() const override { return {256, 256}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<float> curve_;
    std::array<int, PictureHistogram::kLevels> luminance_{};
};

// Camera, lens, exposure, aperture, ISO, date and position, one row each; a line saying there is nothing
// when the source has none of them.
class ExifView : public QWidget {
    Q_OBJECT
public:
    explicit ExifView(QWidget* parent = nullptr);
    void setSummary(const ExifSummary& summary);
    // The value shown in the row of `field` (0 camera .. 6 position); empty when the row is hidden.
    QString value(int field) const;
    void refreshTexts();

private:
    static constexpr int kFields = 7;
    std::array<QLabel*, kFields> names_{};
    std::array<QLabel*, kFields> values_{};
    QLabel* none_;
};

} // namespace lumora
