#include "ui/SharpestImageSelection.h"

#include "i18n/LanguageEngine.h"
#include "imageio/ImageFile.h"
#include "media/ImagesSequence.h"
#include "ui/ImageConversion.h"
#include "ui/SelectionPins.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>
#include <QVariant>
#include <algorithm>
#include <atomic>

namespace lumora {
namespace {

std::atomic<int> gNextSerial{0};

// Width the thumbnail may take in `area`: its width less the layout's right margin.
int usableWidth(QWidget* area) {
    int width = area ? area->width() : 0;
    if (area && area->layout())
        width -= area->layout()->contentsMargins().right();
    // An area not laid out yet has no width; the thumbnail still needs one.
    return std::max(width, 160);
}

// A symbol says nothing to a screen reader: the button's tooltip words are also its accessible name.
QPushButton* smallButton(const char* name, const QString& symbol, const char* tipKey, QWidget* parent) {
    auto* b = new QPushButton(symbol, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(translatedText(tipKey));
    b->setAccessibleName(b->toolTip());
    b->setCursor(Qt::PointingHandCursor);
    b->setFixedWidth(28);
    return b;
}

// A picture's name under its thumbnail: one line that ends in "…" where the thumbnail is narrower than the
// name, instead of being cut off at the frame. text() stays the whole name.
class ElidedLabel final : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect r = contentsRect();
        style()->drawItemText(&painter, r, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideRight, r.width()), foregroundRole());
    }
};

} // namespace

SharpestImageSelection::SharpestImageSelection(QWidget* area, int serial, const cv::Mat& image,
                                               std::string exifSource)
    : QFrame(area), serial_(serial),
      document_(std::make_unique<PictureDocument>(image, std::move(exifSource))) {
    setObjectName(QStringLiteral("SharpestImageSelection%1").arg(serial));
    connect(document_.get(), &PictureDocument::renderFinished, this, &SharpestImageSelection::renderFinished);
    connect(document_.get(), &PictureDocument::renderProgress, this, &SharpestImageSelection::renderProgress);
}

SharpestImageSelection::SharpestImageSelection(ImagesSequence* sequence, int searchRadius, QWidget* area,
                                               QWidget* pinParent)
    // Not the player's picture: burst files are shown from their quick (half-size) preview decode.
    : SharpestImageSelection(area, gNextSerial++, sequence->stillFrameAt(sequence->currentIndex()),
                             sequence->sourceFileOf(sequence->currentIndex())) {
    sequence_ = sequence;
    frameIndex_ = sequence->currentIndex();
    aspect_ = sequence->height() > 0 ? double(sequence->width()) / sequence->height() : 1.0;
    buildForm(area);
    sharpText_->setText(translatedText("GenericSharpText").arg(100));
    pin_ = makePinLabel(serial_, pinParent);
    startSearch(searchRadius);
}

SharpestImageSelection::SharpestImageSelection(const cv::Mat& image, std::string exifSource, QWidget* area)
    : SharpestImageSelection(area, gNextSerial++, image, std::move(exifSource)) {
    aspect_ = image.rows > 0 ? double(image.cols) / image.rows : 1.0;
    buildForm(area);
}

SharpestImageSelection::~SharpestImageSelection() {
    // The search reads the sequence and the document's picture: it ends here before either goes.
    search_.cancel();
    search_.join();
    document_.reset();
    delete pin_.data();
}

void SharpestImageSelection::buildForm(QWidget* area) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("label_SharpestImagePicture"));
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setCursor(Qt::PointingHandCursor);
    layout->addWidget(picture_);

    bottom_ = new QStackedWidget(this);
    bottom_->setObjectName(QStringLiteral("stackedWidget_SharpestImageSelectionBottom"));
    auto* selectionPage = new QWidget(bottom_);
    selectionPage->setObjectName(QStringLiteral("page_SelectionMode"));
    auto* row = new QHBoxLayout(selectionPage);
    row->setContentsMargins(0, 0, 0, 0);
    sharpText_ = new QLabel(selectionPage);
    sharpText_->setObjectName(QStringLiteral("label_SharpestImageSelectionText"));
    minus_ = smallButton("pushButton_Minus", QStringLiteral("\u2212"), "LessSharpFrame", selectionPage);
    plus_ = smallButton("pushButton_Plus", QStringLiteral("+"), "SharperFrame", selectionPage);
    auto* close =
        smallButton("pushButton_Close", QStringLiteral("\u00d7"), "RemoveGrabbedFrame", selectionPage);
    row->addWidget(sharpText_, 1);
    row->addWidget(minus_);
    row->addWidget(plus_);
    row->addWidget(close);
    minus_->setEnabled(false);
    plus_->setEnabled(false);

    auto* editionPage = new QWidget(bottom_);
    editionPage->setObjectName(QStringLiteral("page_EditionMode"));
    auto* editionRow = new QHBoxLayout(editionPage);
    editionRow->setContentsMargins(0, 0, 0, 0);
    nameLabel_ = new ElidedLabel(editionPage);
    nameLabel_->setObjectName(QStringLiteral("label_SharpestImageEditionText"));
    nameLabel_->setCursor(Qt::IBeamCursor);
    editionRow->addWidget(nameLabel_);

    auto* titlePage = new QWidget(bottom_);
    titlePage->setObjectName(QStringLiteral("page_EditingTitle"));
    auto* titleRow = new QHBoxLayout(titlePage);
    titleRow->setContentsMargins(0, 0, 0, 0);
    nameEdit_ = new QLineEdit(titlePage);
    nameEdit_->setObjectName(QStringLiteral("lineEdit_Title"));
    titleRow->addWidget(nameEdit_);

    bottom_->addWidget(selectionPage);
    bottom_->addWidget(editionPage);
    bottom_->addWidget(titlePage);
    layout->addWidget(bottom_);

    connect(plus_, &QPushButton::clicked, this, &SharpestImageSelection::PushButtonPlusClicked);
    connect(minus_, &QPushButton::clicked, this, &SharpestImageSelection::PushButtonMinusClicked);
    connect(close, &QPushButton::clicked, this, &SharpestImageSelection::PushButtonCloseClicked);
    for (QObject* o : {static_cast<QObject*>(picture_), static_cast<QObject*>(sharpText_),
                       static_cast<QObject*>(nameLabel_), static_cast<QObject*>(nameEdit_)})
        o->installEventFilter(this);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &SharpestImageSelection::customMenuRequested);

    const int width = usableWidth(area);
    setMaximumWidth(width);
    setMaximumHeight(int(width / aspect_) + 48);
    if (area && area->layout()) {
        // Before the closing spacer of the list, when it has one.
        QLayout* list = area->layout();
        auto* box = qobject_cast<QBoxLayout*>(list);
        const int count = list->count();
        const bool spacerLast = count > 0 && list->itemAt(count - 1)->spacerItem();
        if (box)
            box->insertWidget(spacerLast ? count - 1 : count, this);
        else
            list->addWidget(this);
    }
    setProperty("isSelected", false);
    // The frame takes its pin's colour; the edited one keeps the style sheet's highlight instead.
    const QColor c = selectionColour(serial_);
    setStyleSheet(QStringLiteral("#%1[isSelected=\"false\"] { border: 2px solid rgb(%2, %3, %4); }")
                      .arg(objectName())
                      .arg(c.red())
                      .arg(c.green())
                      .arg(c.blue()));
    showThumbnail();
}

void SharpestImageSelection::showThumbnail() {
    const int width = maximumWidth() - 8;
    picture_->setPixmap(thumbnailPixmap(document_->image(), QSize(width, int(width / aspect_))));
}

void SharpestImageSelection::startSearch(int radius) {
    search_.onEnded(this, &SharpestImageSelection::searchEnded);
    ImagesSequence* sequence = sequence_;
    const SharpestSearchRequest request{document_->image(), frameIndex_, sequence->frameCount(), radius};
    searching_ = search_.start([sequence, request](RunControl& run) {
        return findSharpest(
            request, [sequence](int index) { return sequence->getCvImageAt(index, false); }, run);
    });
}

void SharpestImageSelection::searchEnded() {
    if (!searching_ || search_.running())
        return;
    searching_ = false;
    const SharpestSearchResult result = search_.takeResult();
    if (result.outcome == RunOutcome::Finished && !search_.control().isCanceled())
        processWellFinished(result.candidates);
}

void SharpestImageSelection::processWellFinished(const SharpestCandidates& candidates) {
    candidates_.clear();
    if (candidates.empty())
        return;
    const float best = candidates.begin()->first;
    for (const auto& [sharpness, index] : candidates)
        candidates_.emplace_back(best > 0.f ? int(sharpness * 100.f / best) : 100, index);
    // The list may now put another frame first: stay on the one shown.
    current_ = 0;
    for (std::size_t i = 0; i < candidates_.size(); ++i)
        if (candidates_[i].second == frameIndex_)
            current_ = int(i);
    showSharpness();
}

void SharpestImageSelection::showSharpness() {
    const int count = int(candidates_.size());
    if (count > 0)
        sharpText_->setText(translatedText("GenericSharpText").arg(candidates_[std::size_t(current_)].first));
    plus_->setEnabled(current_ > 0);
    minus_->setEnabled(current_ < count - 1);
}

void SharpestImageSelection::PushButtonPlusClicked() {
    step(-1);
}

void SharpestImageSelection::PushButtonMinusClicked() {
    step(+1);
}

// Candidates run sharpest first: plus goes towards the sharpest, minus back towards the grabbed frame.
void SharpestImageSelection::step(int delta) {
    if (candidates_.empty() || !sequence_)
        return;
    current_ = std::clamp(current_ + delta, 0, int(candidates_.size()) - 1);
    const int index = candidates_[std::size_t(current_)].second;
    if (index != frameIndex_) {
        const cv::Mat frame = sequence_->stillFrameAt(index);
        if (!frame.empty()) {
            frameIndex_ = index;
            document_->replaceImage(frame, sequence_->sourceFileOf(index));
            showThumbnail();
        }
    }
    showSharpness();
    emit selecting(frameIndex_);
}

void SharpestImageSelection::PushButtonCloseClicked() {
    emit removeImage(this);
}

void SharpestImageSelection::setExportName(const QString& name) {
    document_->proposeName(name);
    mode_ = EditingMode;
    nameLabel_->setText(document_->exportName());
    nameLabel_->setToolTip(document_->exportName());
    nameEdit_->setText(document_->exportName());
    bottom_->setCurrentIndex(1);
    if (pin_)
        pin_->hide();
}

void SharpestImageSelection::renameExport(const QString& name) {
    document_->setExportName(name);
    nameLabel_->setText(name);
    nameLabel_->setToolTip(name);
    nameEdit_->setText(name);
}

void SharpestImageSelection::leaveEditing() {
    setProperty("isSelected", false);
    mode_ = SelectionMode;
    bottom_->setCurrentIndex(0);
    if (pin_)
        pin_->show();
}

void SharpestImageSelection::customMenuRequested(const QPoint& position) {
    if (mode_ != EditingMode)
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("menu_SharpestImageSelection"));
    QAction* exportAction = menu.addAction(translatedText("ExportThisImage"));
    connect(exportAction, &QAction::triggered, this, &SharpestImageSelection::emitExport);
    menu.exec(mapToGlobal(position));
}

void SharpestImageSelection::emitExport() {
    emit onExport(this);
}

bool SharpestImageSelection::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == picture_ || watched == sharpText_) {
            if (mode_ == SelectionMode)
                emit selecting(frameIndex_);
            else
                emit onClick(this);
            return true;
        }
        if (watched == nameLabel_) {
            bottom_->setCurrentIndex(2);
            nameEdit_->setFocus();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && watched == nameEdit_) {
        document_->setExportName(nameEdit_->text().trimmed());
        nameLabel_->setText(document_->exportName());
        bottom_->setCurrentIndex(1);
    }
    return QFrame::eventFilter(watched, event);
}

void SharpestImageSelection::stopWork() {
    document_->stopRender();
    search_.cancel();
    search_.join();
    search_.takeResult();
    searching_ = false;
}

} // namespace lumora
