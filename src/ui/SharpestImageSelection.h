#pragma once
// One picked picture: a grabbed frame (Basic and Classic), a stacking result (Pro) or the single opened
// photo. It shows a thumbnail and, for a grabbed frame, a tinted pin on the timeline and the sharper
// neighbours that a background search found, which the plus and minus buttons step through. In editing it is
// shows the picture's document (rendered and exported under a name the user can change), which it owns; it
// stops and joins the search that reads the sequence before it goes.

#include "app/BackgroundRun.h"
#include "sharpness/Sharpness.h"
#include "ui/PictureDocument.h"

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

namespace lumora {

class ImagesSequence;

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
    QLabel* pin() const { return pin_; }
    int displayMode() const { return mode_; }

    // Sharper frames found: percent of the best and frame index, best first; the current one.
    const std::vector<std::pair<int, int>>& candidates() const { return candidates_; }
    int currentCandidate() const { return current_; }

    // The picture this entry shows: what is edited, rendered and exported.
    PictureDocument& document() { return *document_; }
    const PictureDocument& document() const { return *document_; }
    const cv::Mat& image() const { return document_->image(); }
    const std::string& exifSource() const { return document_->exifSource(); }
    double lightWhite() const { return document_->lightWhite(); }
    void setLightWhite(double level) { document_->setLightWhite(level); }

    QString exportName() const { return document_->exportName(); }
    // Fills the export name when it is empty (an emptied name is filled again), and shows the editing page.
    void setExportName(const QString& name);
    QString fileName() const { return document_->fileName(); }
    // The user chose another name in the save dialog.
    void renameExport(const QString& name);
    // Back to the selection page with the pin shown.
    void leaveEditing();

    // Shortcuts to the document's engine and render work.
    ToneMapEngine& engine() { return document_->engine(); }
    const ToneMapEngine& engine() const { return document_->engine(); }
    EditPositions& positions() { return document_->positions(); }
    const EditPositions& positions() const { return document_->positions(); }
    bool startRender(bool fullSize, bool fast, int stage) {
        return document_->startRender(fullSize, fast, stage);
    }
    bool rendering() const { return document_->rendering(); }
    cv::Size previewSizeUsed() const { return document_->previewSizeUsed(); }
    bool refreshPreview(int stage) { return document_->refreshPreview(stage); }
    void cancelRender() { document_->cancelRender(); }
    void settleRender() { document_->settleRender(); }
    cv::Mat preview() const { return document_->preview(); }
    cv::Mat takeFullRender() { return document_->takeFullRender(); }
    const std::string& fullRenderFailure() const { return document_->fullRenderFailure(); }
    cv::Mat shownImage() const { return document_->shownImage(); }

    // Cancels the render and the search and joins them (each leaves at its next check).
    void stopWork();

signals:
    void removeImage(lumora::SharpestImageSelection* selection);
    void selecting(int frameIndex);
    void onClick(lumora::SharpestImageSelection* selection);
    void onExport(lumora::SharpestImageSelection* selection);
    void renderFinished(bool ok);
    void renderProgress(int percent);

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
    SharpestImageSelection(QWidget* area, int serial, const cv::Mat& image, std::string exifSource);
    void buildForm(QWidget* area);
    void showThumbnail();
    void showSharpness();
    void step(int delta);
    void startSearch(int radius);
    void searchEnded();

    int serial_;
    ImagesSequence* sequence_ = nullptr;
    int frameIndex_ = -1;
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

    std::unique_ptr<PictureDocument> document_;
    // Declared after the document it reads, so an owner deleting this widget has stopped it first.
    BackgroundRun<SharpestSearchResult> search_{"SharpestImageSelection"};
    bool searching_ = false; // from the start of the search until its end has been handled
};

} // namespace lumora
