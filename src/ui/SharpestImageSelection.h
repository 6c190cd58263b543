#pragma once
// One picked picture: a grabbed frame (Basic and Classic), a stacking result (Pro) or the single opened
// photo. It shows a thumbnail and, for a grabbed frame, a tinted pin on the timeline and the sharper
// neighbours that a background search found, which the plus and minus buttons step through. In editing it is
// the unit that is rendered and exported under a name the user can change; it owns its tone-mapping engine
// and every thread that reads it or the sequence, and stops and joins them before it goes.

#include "sharpness/Sharpness.h"
#include "tonemap/ToneMapEngine.h"
#include "ui/EditPositions.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <opencv2/core.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QLineEdit;
class QPushButton;
class QStackedWidget;
class QThread;

namespace lumora {

class ImagesSequence;
class SharpestImageSearcherWorkerThread;
class TMComputingWorkerThread;

class SharpestImageSelection : public QFrame {
    Q_OBJECT
public:
    enum DisplayMode { SelectionMode = 0, EditingMode = 1 };

    // A grabbed frame: the sequence's current frame, with a pin on `pinParent` and a search for sharper
    // frames within `searchRadius` on each side. The sequence must outlive the widget.
    SharpestImageSelection(ImagesSequence* sequence, int searchRadius, QWidget* area, QWidget* pinParent);
    // A stacking result or a photo: `image` at full precision, with the file its EXIF data comes from.
    SharpestImageSelection(const cv::Mat& image, std::string exifSource, QWidget* area);
    ~SharpestImageSelection() override;

    int serial() const { return serial_; }
    // -1 for a selection made from an image.
    int frameIndex() const { return frameIndex_; }
    const cv::Mat& image() const { return image_; }
    const std::string& exifSource() const { return exifSource_; }
    // The picture's light level of diffuse white, for the HDR exports (see HdrExport.h); 1 unless set.
    double lightWhite() const { return lightWhite_; }
    void setLightWhite(double level) { lightWhite_ = level; }
    QLabel* pin() const { return pin_; }
    int displayMode() const { return mode_; }

    // Sharper frames found: percent of the best and frame index, best first; the current one.
    const std::vector<std::pair<int, int>>& candidates() const { return candidates_; }
    int currentCandidate() const { return current_; }

    QString exportName() const { return exportName_; }
    // Fills the export name when it is empty (an emptied name is filled again), and shows the editing page.
    void setExportName(const QString& name);
    // The name a file is written under: the export name, or the one first proposed while it is empty.
    QString fileName() const { return exportName_.isEmpty() ? proposedName_ : exportName_; }
    // The user chose another name in the save dialog.
    void renameExport(const QString& name);
    // Back to the selection page with the pin shown.
    void leaveEditing();

    // The tone-mapping parameters and renderer of this picture. Not to be changed while rendering().
    ToneMapEngine& engine() { return engine_; }
    const ToneMapEngine& engine() const { return engine_; }
    // The positions of the editing controls that made the engine's values.
    EditPositions& positions() { return positions_; }
    const EditPositions& positions() const { return positions_; }
    // Renders on a thread of its own: the preview at the process-wide preview size from `stage`, or the whole
    // image. False when a render is already running.
    bool startRender(bool fullSize, bool fast, int stage);
    bool rendering() const;
    // The preview size the last preview render started with (0 x 0 before the first).
    cv::Size previewSizeUsed() const { return previewSizeUsed_; }
    // Recomputes the preview from `stage` on the calling thread (the quick stages after an adjustment).
    // False, and nothing done, while a render runs or before a first preview exists to start from.
    bool refreshPreview(int stage);
    void cancelRender();
    // The running render's thread, or null.
    QThread* renderThread() const;
    // Handles now the end of a render whose thread has ended but whose end was not handled yet.
    void settleRender();
    // The last preview, or the last full-size render (taken by the caller); empty when it was cancelled.
    cv::Mat preview() const { return preview_; }
    cv::Mat takeFullRender() { return std::move(fullRender_); }
    // Why the last full-size render gave no picture though nobody cancelled it; empty otherwise.
    const std::string& fullRenderFailure() const { return fullRenderFailure_; }
    // What the window shows while this picture is edited: the preview, else the picture itself.
    cv::Mat shownImage() const { return preview_.empty() ? image_ : preview_; }

    // Asks the search and the render to stop; the threads still running (to wait for before deleting).
    std::vector<QThread*> stopWork();

signals:
    void removeImage(lumora::SharpestImageSelection* selection);
    void selecting(int frameIndex);
    void onClick(lumora::SharpestImageSelection* selection);
    void onExport(lumora::SharpestImageSelection* selection);
    void renderFinished(bool ok);

public slots:
    // The search's result, copied: (sharpness, frame index) pairs, best first.
    void processWellFinished(const lumora::SharpestCandidates& candidates);
    void PushButtonPlusClicked();
    void PushButtonMinusClicked();
    void PushButtonCloseClicked();
    void customMenuRequested(const QPoint& position);
    void emitExport();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SharpestImageSelection(QWidget* area, int serial);
    void buildForm(QWidget* area);
    void showThumbnail();
    void showSharpness();
    void step(int delta);
    void startSearch(int radius);
    void searchEnded();
    void renderEnded();

    int serial_;
    ImagesSequence* sequence_ = nullptr;
    int frameIndex_ = -1;
    cv::Mat image_;
    std::string exifSource_;
    double lightWhite_ = 1.0;
    std::string fullRenderFailure_;
    QString exportName_;
    QString proposedName_;
    int mode_ = SelectionMode;
    std::vector<std::pair<int, int>> candidates_;
    int current_ = 0;
    double aspect_ = 1.0; // width / height

    QLabel* picture_ = nullptr;
    QStackedWidget* bottom_ = nullptr;
    QLabel* sharpText_ = nullptr;
    QPushButton* plus_ = nullptr;
    QPushButton* minus_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
    QPointer<QLabel> pin_; // a child of the timeline, which may go first

    ToneMapEngine engine_;
    EditPositions positions_;
    cv::Size previewSizeUsed_;
    cv::Mat preview_;
    cv::Mat fullRender_;
    // Declared after what they read, so an owner deleting this widget has stopped them first.
    std::unique_ptr<SharpestImageSearcherWorkerThread> search_;
    bool searchCompleted_ = false;
    std::unique_ptr<TMComputingWorkerThread> render_;
};

} // namespace lumora
