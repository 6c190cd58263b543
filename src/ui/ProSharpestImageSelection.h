#pragma once
// One entry of the Pro sharpest-frame results: the frame's picture with its sharpness in percent of the best.
// While the mouse is over it, its pin shows the frame's place on the timeline; a click shows the frame.

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <opencv2/core.hpp>

namespace lumora {

class ProSharpestImageSelection : public QFrame {
    Q_OBJECT
public:
    // `pinParent` is the timeline panel; `thumbnail` may be empty until setThumbnail.
    ProSharpestImageSelection(QWidget* area, QWidget* pinParent, int frameIndex, const QString& text);
    ~ProSharpestImageSelection() override;

    int serial() const { return serial_; }
    int frameIndex() const { return frameIndex_; }
    QLabel* pin() const { return pin_; }
    void setThumbnail(const cv::Mat& thumbnail);

signals:
    void onClick(int frameIndex);
    void movePin(QWidget* pin, int frameIndex);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int serial_;
    int frameIndex_;
    QLabel* picture_ = nullptr;
    QPointer<QLabel> pin_; // a child of the timeline, which may go first
};

} // namespace lumora
