#pragma once
// The thin strip under the timeline that draws each frame's quality across the clip: its sharpness (upper
// curve) and how much it moves against the frame before (lower curve), with the sharpest moments marked.
// It only shows what it is given; the computation runs elsewhere.

#include "sharpness/FrameQuality.h"

#include <QWidget>

#include <vector>

namespace lumora {

class QualityStripWidget : public QWidget {
    Q_OBJECT
public:
    explicit QualityStripWidget(QWidget* parent = nullptr);

    // The figures of every frame and the frames to mark; an empty list clears the strip.
    void setQuality(std::vector<FrameQuality> frames, std::vector<int> marks);
    // The text shown while there are no figures ("computing…"), empty for none.
    void setWaitingText(const QString& text);
    QString waitingText() const { return waiting_; }
    const std::vector<FrameQuality>& frames() const { return frames_; }
    const std::vector<int>& marks() const { return marks_; }

    // Height of each curve at frame k, 0 (bottom of its band) to 1 (top): sharpness over the clip's largest,
    // and motion as the mean of shift and residual each over its largest.
    static std::vector<double> sharpnessCurve(const std::vector<FrameQuality>& frames);
    static std::vector<double> motionCurve(const std::vector<FrameQuality>& frames);

signals:
    // The user clicked on the strip at frame `index`.
    void frameClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::vector<FrameQuality> frames_;
    std::vector<int> marks_;
    QString waiting_;
};

} // namespace lumora
