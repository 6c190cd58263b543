#pragma once
// One edited picture as a document: its light image, the file its EXIF data comes from, the positions of the
// editing controls, the tone-mapping engine they drive, its render work and its export name. The widget that
// shows it in a list holds none of these. A document that is not being edited keeps only its light image and
// positions: its render caches (stage images, preview, the last full-size render) are dropped, and the next
// render builds them again.

#include "app/BackgroundRun.h"
#include "stacking/StackingChoices.h"
#include "tonemap/ToneMapEngine.h"
#include "ui/EditPositions.h"

#include <QObject>
#include <QString>
#include <opencv2/core.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora {

// How a stacked picture was made: the choices around its chosen frame, the frames the run spanned and how
// many of them it merged (fewer when the run was stopped early).
struct StackOrigin {
    StackingChoices choices;
    int centre = 0;
    int firstFrame = 0;
    int frameCount = 0;
    int merged = 0;
};

class PictureDocument : public QObject {
    Q_OBJECT
public:
    PictureDocument(const cv::Mat& image, std::string exifSource);
    // Cancels and joins a render still running: the engine it reads goes with the document.
    ~PictureDocument() override;

    const cv::Mat& image() const { return image_; }
    const std::string& exifSource() const { return exifSource_; }
    // Another picture in place of this one (a sharper neighbouring frame): waits for a running render first.
    void replaceImage(const cv::Mat& image, std::string exifSource);
    // The picture's light level of diffuse white, for the HDR exports (see HdrExport.h); 1 unless set.
    double lightWhite() const { return lightWhite_; }
    void setLightWhite(double level) { lightWhite_ = level; }

    // Whether the user edits this picture now. Leaving editing drops the render caches (at once, or when a
    // render still running has ended).
    void setEdited(bool edited);
    bool edited() const { return edited_; }

    QString exportName() const { return exportName_; }
    // The name a file is written under: the export name, or the one first proposed while it is empty.
    QString fileName() const { return exportName_.isEmpty() ? proposedName_ : exportName_; }
    // Proposes `name`: it becomes the export name while that is empty (an emptied name is filled again).
    void proposeName(const QString& name);
    void setExportName(const QString& name) { exportName_ = name; }
    // Set for the light image of a stacking run; its recipe records that run, whichever runs came after.
    const std::optional<StackOrigin>& stackOrigin() const { return stackOrigin_; }
    void setStackOrigin(const StackOrigin& origin) { stackOrigin_ = origin; }

    // The tone-mapping parameters and renderer. Not to be changed while rendering().
    ToneMapEngine& engine() { return engine_; }
    const ToneMapEngine& engine() const { return engine_; }
    EditPositions& positions() { return positions_; }
    const EditPositions& positions() const { return positions_; }

    // Renders off the calling thread: the preview at the process-wide preview size from `stage`, or the whole
    // image. False when a render is already running.
    bool startRender(bool fullSize, bool fast, int stage);
    // From startRender until the render's end has been handled.
    bool rendering() const { return pending_; }
    cv::Size previewSizeUsed() const { return previewSizeUsed_; }
    // Recomputes the preview from `stage` on the calling thread (the quick stages after an adjustment).
    // False, and nothing done, while a render runs or before a first preview exists to start from.
    bool refreshPreview(int stage);
    void cancelRender();
    // Waits for a running render to return and handles its end (cancel it first to wait less).
    void joinRender();
    // Handles now the end of a render whose thread has ended but whose end was not handled yet.
    void settleRender();
    // The last preview, or the last full-size render (taken by the caller); empty when it was cancelled.
    cv::Mat preview() const { return preview_; }
    cv::Mat takeFullRender() { return std::move(fullRender_); }
    // Why the last full-size render gave no picture though nobody cancelled it; empty otherwise.
    const std::string& fullRenderFailure() const { return fullRenderFailure_; }
    cv::Mat shownImage() const { return preview_.empty() ? image_ : preview_; }
    // Cancels a running render and waits for it.
    void stopRender();

signals:
    void renderFinished(bool ok);
    // The running render's progress in percent, as it changes (not every change).
    void renderProgress(int percent);

private:
    struct Rendered {
        cv::Mat image;
        bool canceled = false;
        std::string failure; // a full-size render that failed: why
    };
    void renderEnded();
    void dropCaches();

    cv::Mat image_;
    std::string exifSource_;
    double lightWhite_ = 1.0;
    bool edited_ = false;
    QString exportName_;
    std::optional<StackOrigin> stackOrigin_;
    QString proposedName_;
    ToneMapEngine engine_;
    EditPositions positions_;
    cv::Size previewSizeUsed_;
    cv::Mat preview_;
    cv::Mat fullRender_;
    std::string fullRenderFailure_;
    bool pending_ = false;
    bool renderingFullSize_ = false;
    // Declared after the engine it reads, so it is cancelled and joined before the engine goes.
    BackgroundRun<Rendered> render_{"PictureDocument"};
};

} // namespace lumora
