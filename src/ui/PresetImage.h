#pragma once
// One preset in the editing page's strips: the edited picture rendered with that preset, and its name. Each
// thumbnail owns its engine and its background render; a new picture cancels a render still going and starts
// once that one has ended, so the window never waits for it.

#include "app/BackgroundRun.h"
#include "presets/PresetFiles.h"
#include "presets/PresetThumbnail.h"
#include "tonemap/ToneMapEngine.h"

#include <QFrame>
#include <opencv2/core.hpp>

#include <memory>

class QLabel;

namespace lumora {

class PresetImage : public QFrame {
    Q_OBJECT
public:
    PresetImage(const PresetRecord& preset, QWidget* parent);
    ~PresetImage() override;

    const PresetRecord& preset() const { return preset_; }
    // Renders `image` (already at thumbnail size) with the preset; the same image again changes nothing.
    void setSource(const cv::Mat& image);
    // Shows another preset (a user preset changed in place) and renders the source with it.
    void setPreset(const PresetRecord& preset);
    bool rendering() const { return pending_; }
    // Whether a thumbnail is shown.
    bool hasThumbnail() const { return !thumbnail_.empty(); }
    cv::Mat thumbnail() const { return thumbnail_; }
    // Cancels a render without waiting: its end, or the destructor, lets it go.
    void stopWork();

signals:
    void onClick(lumora::PresetImage* image);
    void thumbnailChanged();

public slots:
    void thumbnailProcessed(const cv::Mat& result);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Starts a render now, or once the one in progress (cancelled) has ended.
    void render();
    void showName();
    void startRender();
    void renderEnded();

    PresetRecord preset_;
    bool presetChanged_ = false; // the engine takes the preset's values before the next render
    ToneMapEngine engine_;
    cv::Mat source_;
    bool restart_ = false;
    cv::Mat thumbnail_;
    QLabel* picture_ = nullptr;
    QLabel* name_ = nullptr;
    // Declared after the engine it reads; the destructor cancels and joins it first.
    BackgroundRun<PresetThumbnailResult> render_{"PresetImage"};
    bool pending_ = false; // from the start of a render until its end has been handled
};

} // namespace lumora
