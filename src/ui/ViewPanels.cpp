#include "ui/ViewPanels.h"

#include "i18n/LanguageEngine.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>

namespace lumora {
namespace {

// The tallest count, ignoring the two end levels: clipped pixels would otherwise flatten the rest.
int tallest(const std::array<int, PictureHistogram::kLevels>& counts) {
    return std::max(1, *std::max_element(counts.begin() + 1, counts.end() - 1));
}

QPainterPath outline(const std::array<int, PictureHistogram::kLevels>& counts, const QRectF& area,
                     bool closed) {
    const double top = tallest(counts);
    QPainterPath path;
    const double step = area.width() / (PictureHistogram::kLevels - 1);
    if (closed)
        path.moveTo(area.left(), area.bottom());
    for (int i = 0; i < PictureHistogram::kLevels; ++i) {
        const QPointF p(area.left() + i * step,
                        area.bottom() - std::min(1.0, counts[i] / top) * area.height());
        if (i == 0 && !closed)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    if (closed)
        path.lineTo(area.right(), area.bottom());
    return path;
}

QString percent(double share) {
    return QString::number(share * 100.0, 'f', share > 0 && share < 0.001 ? 2 : 1);
}

} // namespace

class HistogramView::Plot : public QWidget {
public:
    explicit Plot(const PictureHistogram& h, QWidget* parent) : QWidget(parent), h_(h) {
        setMinimumHeight(100);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(30, 30, 30));
        if (h_.pixels == 0)
            return;
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.fillPath(outline(h_.counts[PictureHistogram::Luminance], area, true), QColor(150, 150, 150, 140));
        const QColor colours[] = {QColor(235, 80, 70), QColor(90, 200, 90), QColor(90, 140, 240)};
        for (int c = PictureHistogram::Red; c <= PictureHistogram::Blue; ++c) {
            p.setPen(QPen(colours[c - PictureHistogram::Red], 1.2));
            p.drawPath(outline(h_.counts[c], area, false));
        }
    }

private:
    const PictureHistogram& h_;
};

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    plot_ = new Plot(histogram_, this);
    plot_->setObjectName(QStringLiteral("widget_HistogramPlot"));
    clipped_ = new QLabel(this);
    clipped_->setObjectName(QStringLiteral("label_HistogramClipped"));
    layout->addWidget(plot_, 1);
    layout->addWidget(clipped_);
    refreshTexts();
}

void HistogramView::setHistogram(const PictureHistogram& histogram) {
    histogram_ = histogram;
    clipped_->setText(clippedText());
    plot_->update();
}

QString HistogramView::clippedText() const {
    if (histogram_.pixels == 0)
        return {};
    return translatedText("HistogramClipped")
        .arg(percent(histogram_.clippedBlack[PictureHistogram::Luminance]),
             percent(histogram_.clippedWhite[PictureHistogram::Luminance]));
}

void HistogramView::refreshTexts() {
    clipped_->setText(clippedText());
    plot_->setAccessibleName(translatedText("HistogramPanel"));
}

ToneCurveView::ToneCurveView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(120, 120);
}

void ToneCurveView::setCurve(std::vector<float> curve, const PictureHistogram& histogram) {
    curve_ = std::move(curve);
    luminance_ = histogram.counts[PictureHistogram::Luminance];
    update();
}

void ToneCurveView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(30, 30, 30));
    p.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 2;
    const QRectF area((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    p.fillPath(outline(luminance_, area, true), QColor(110, 110, 110, 120));
    p.setPen(QPen(QColor(80, 80, 80), 1, Qt::DotLine));
    for (int k = 1; k < 4; ++k) {
        p.drawLine(QPointF(area.left() + area.width() * k / 4, area.top()),
                   QPointF(area.left() + area.width() * k / 4, area.bottom()));
        p.drawLine(QPointF(area.left(), area.top() + area.height() * k / 4),
                   QPointF(area.right(), area.top() + area.height() * k / 4));
    }
    p.drawLine(area.bottomLeft(), area.topRight());
    if (curve_.size() < 2)
        return;
    QPainterPath path;
    for (std::size_t i = 0; i < curve_.size(); ++i) {
        const double x = area.left() + area.width() * double(i) / double(curve_.size() - 1);
        const double y = area.bottom() - area.height() * std::clamp(double(curve_[i]), 0.0, 1.0);
        if (i == 0)
            path.moveTo(x, y);
        else
            path.lineTo(x, y);
    }
    p.setPen(QPen(QColor(240, 240, 240), 1.5));
    p.drawPath(path);
}

ExifView::ExifView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    for (int i = 0; i < kFields; ++i) {
        names_[i] = new QLabel(this);
        values_[i] = new QLabel(this);
        values_[i]->setObjectName(QStringLiteral("label_ExifValue%1").arg(i));
        values_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values_[i]->setWordWrap(true);
        layout->addWidget(names_[i], i, 0, Qt::AlignTop);
        layout->addWidget(values_[i], i, 1);
    }
    none_ = new QLabel(this);
    none_->setObjectName(QStringLiteral("label_ExifNone"));
    none_->setWordWrap(true);
    layout->addWidget(none_, kFields, 0, 1, 2);
    layout->setRowStretch(kFields + 1, 1);
    setSummary({});
    refreshTexts();
}

void ExifView::setSummary(const ExifSummary& s) {
    const std::string* fields[kFields] = {&s.camera, &s.lens, &s.exposure, &s.aperture,
                                          &s.iso,    &s.date, &s.position};
    for (int i = 0; i < kFields; ++i) {
        const bool known = !fields[i]->empty();
        values_[i]->setText(QString::fromStdString(*fields[i]));
        names_[i]->setVisible(known);
        values_[i]->setVisible(known);
    }
    none_->setVisible(s.empty());
}

QString ExifView::value(int field) const {
    if (field < 0 || field >= kFields || values_[field]->isHidden())
        return {};
    return values_[field]->text();
}

void ExifView::refreshTexts() {
    const char* keys[kFields] = {"ExifCamera", "ExifLens", "ExifExposure", "ExifAperture",
                                 "ExifIso",    "ExifDate", "ExifPosition"};
    for (int i = 0; i < kFields; ++i)
        names_[i]->setText(translatedText(keys[i]));
    none_->setText(translatedText("ExifNone"));
}

} // namespace lumora
