#pragma once
// One preset in the editing page's strips: the edited picture rendered with that preset, and its name. Each
// thumbnail owns its engine and rendering thread; a new picture cancels a render still going and starts once
// that one has ended, so the window never waits for it.

#include "presets/PresetFiles.h"
#include "tonemap/ToneMapEngine.h"

#include <QFrame>
#include <opencv2/core.hpp>

#include <memory>

class QLabel;
class QThread;

namespace lumora {

class PresetImageWorkerThread;

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
    bool rendering() const { return worker_ != nullptr; }
    // Whether a thumbnail is shown.
    bool hasThumbnail() const { return !thumbnail_.empty(); }
    cv::Mat thumbnail() const { return thumbnail_; }
    // Cancels a render; the thread still running (to wait for before deleting), or null.
    QThread* stopWork();

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
    std::unique_ptr<PresetImageWorkerThread> worker_;
};

} // namespace lumora
