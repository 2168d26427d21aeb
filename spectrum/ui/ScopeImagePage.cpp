#include "spectrum/ui/ScopeImagePage.h"

#include "common/Colour.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Twips.h"
#include "spectrum/ui/ScopeView.h"
#include "spectrum/ui/ThinPolyline.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvik {

namespace {

// Linear power values reach 1e12 on a scale of 24e6; QPainter must not see such coordinates.
constexpr double PixelLimit = 1e6;

double clampPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return std::clamp(v, -PixelLimit, PixelLimit);
}

QPainter::CompositionMode composition(int drawMode)
{
    switch (drawMode) {
    case ScopePage::DrawNotXorPen:
        return QPainter::RasterOp_NotSourceXorDestination;
    case ScopePage::DrawMaskNotPen:
        return QPainter::RasterOp_NotSourceAndDestination;
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

} // namespace

ScopeImagePage::ScopeImagePage(QWidget* picture) : picture_(picture), image_(1, 1, QImage::Format_RGB32)
{
    image_.fill(Qt::black);
    font_.setPointSizeF(7);
    font_.setStyleStrategy(QFont::NoAntialias);
    if (picture_) {
        const TwipsRect r = twipsGeometry(picture_);
        ScopePage::Move(r.left, r.top, r.width, r.height);
        image_ = QImage(std::max(1, picture_->width()), std::max(1, picture_->height()), QImage::Format_RGB32);
        image_.fill(Qt::black);
        view_ = new ScopeView(*this, picture_);
        view_->setGeometry(0, 0, picture_->width(), picture_->height());
        // Labels on the page (the pointer read-out) stay above the picture.
        for (QLabel* label : picture_->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            label->raise();
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        visible_ = picture_->isVisibleTo(picture_->parentWidget());
    }
}

ScopeImagePage::~ScopeImagePage()
{
    endPainting();
}

void ScopeImagePage::Move(int32_t left, int32_t top, int32_t width, int32_t height)
{
    endPainting();
    ScopePage::Move(left, top, width, height);
    const QSize size(std::max(1, twipsToPixels(width)), std::max(1, twipsToPixels(height)));
    if (image_.size() != size) {
        image_ = QImage(size, QImage::Format_RGB32);
        image_.fill(qColour(BackColor));
        kept_ = QImage();
    }
    if (picture_) {
        placeTwips(picture_, {left, top, width, height});
        view_->setGeometry(0, 0, size.width(), size.height());
    }
}

int32_t ScopeImagePage::ContainerScaleHeight() const
{
    if (picture_ && picture_->parentWidget())
        return pixelsToTwips(picture_->parentWidget()->height());
    return containerHeight_;
}

void ScopeImagePage::SetFont(const std::string& name, float size)
{
    Flush();
    // A missing face falls back to the system's sans serif.
    font_ = QFont(QString::fromStdString(name));
    font_.setStyleHint(QFont::SansSerif);
    font_.setPointSizeF(size);
    // Small scale labels stay crisp, in exactly their colour.
    font_.setStyleStrategy(QFont::NoAntialias);
    if (painter_)
        painter_->setFont(font_);
}

std::string ScopeImagePage::FontName() const { return font_.family().toStdString(); }

float ScopeImagePage::FontSize() const { return static_cast<float>(font_.pointSizeF()); }

QPainter& ScopeImagePage::painter()
{
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setFont(font_);
    }
    return *painter_;
}

void ScopeImagePage::endPainting()
{
    Flush();
    painter_.reset();
}

void ScopeImagePage::SetAutoRedraw(bool on)
{
    if (on) {
        painter();
        return;
    }
    endPainting();
    if (view_)
        view_->update();
}

void ScopeImagePage::SetVisible(bool visible)
{
    visible_ = visible;
    if (picture_)
        picture_->setVisible(visible);
    if (visible && view_)
        view_->update();
}

void ScopeImagePage::ZOrder()
{
    if (picture_)
        picture_->raise();
}

void ScopeImagePage::Cls()
{
    pending_.clear();
    painter_.reset();
    image_.fill(qColour(BackColor));
    CurrentX = 0;
    CurrentY = 0;
}

namespace {

// User units to pixels on an image of that size; every point of a page goes through here.
struct PixelMap {
    float left, top;
    int width, height;
    double scaleWidth, scaleHeight;

    QPointF operator()(float x, float y) const
    {
        return {clampPixel((x - left) * width / scaleWidth), clampPixel((y - top) * height / scaleHeight)};
    }
};

PixelMap pixelMap(const ScopePage& page, const QImage& image)
{
    return {page.ScaleLeft, page.ScaleTop, image.width(), image.height(),
            page.ScaleWidth != 0 ? page.ScaleWidth : 1.0, page.ScaleHeight != 0 ? page.ScaleHeight : 1.0};
}

} // namespace

QPointF ScopeImagePage::toPixel(float x, float y) const { return pixelMap(*this, image_)(x, y); }

QPointF ScopeImagePage::toUser(QPointF pixel) const
{
    return {ScaleLeft + pixel.x() * ScaleWidth / image_.width(), ScaleTop + pixel.y() * ScaleHeight / image_.height()};
}

void ScopeImagePage::applyPen(QPainter& p)
{
    QPen pen(qColour(pendingColour_));
    pen.setWidth(pendingWidth_);
    pen.setCapStyle(pendingWidth_ > 1 ? Qt::FlatCap : Qt::SquareCap);
    p.setPen(pen);
    if (p.compositionMode() != composition(pendingMode_))
        p.setCompositionMode(composition(pendingMode_));
}

void ScopeImagePage::Line(float x1, float y1, float x2, float y2)
{
    // A polyline's segments start where the one before ended: that point is mapped once.
    const bool fromLast = !pending_.isEmpty() && x1 == lastX_ && y1 == lastY_;
    const QPointF a = fromLast ? pending_.last() : toPixel(x1, y1);
    const QPointF b = toPixel(x2, y2);
    const bool continues = !pending_.isEmpty() && pending_.last() == a && pendingColour_ == ForeColor &&
                           pendingWidth_ == DrawWidth && pendingMode_ == DrawMode;
    if (!continues) {
        Flush();
        pendingColour_ = ForeColor;
        pendingWidth_ = std::max(1, DrawWidth);
        pendingMode_ = DrawMode;
        pending_.append(a);
    }
    pending_.append(b);
    lastX_ = x2;
    lastY_ = y2;
    CurrentX = x2;
    CurrentY = y2;
}

void ScopeImagePage::PolylineTo(const float* x, const float* y, int count)
{
    if (count <= 0)
        return;
    // The first segment decides whether the pending polyline goes on; the rest follow it.
    LineTo(x[0], y[0]);
    const PixelMap map = pixelMap(*this, image_);
    const qsizetype base = pending_.size();
    pending_.resize(base + count - 1);
    QPointF* out = pending_.data() + base;
    for (int k = 1; k < count; ++k)
        out[k - 1] = map(x[k], y[k]);
    lastX_ = CurrentX = x[count - 1];
    lastY_ = CurrentY = y[count - 1];
}

void ScopeImagePage::Flush()
{
    if (pending_.size() < 2) {
        pending_.clear();
        return;
    }
    if (pending_.size() == 2 && pending_[0] == pending_[1]) {
        QPainter& p = painter();
        applyPen(p);
        p.drawPoint(pending_[0]);
        pending_.clear();
        return;
    }
    // A segment wholly beyond one edge of the page (a linear power far above the scale)
    // lights no pixel but costs the painter as much as a visible one: the polyline goes to
    // the painter in the runs between such segments.
    const double margin = pendingWidth_ + 2.0;
    const double right = image_.width() + margin;
    const double bottom = image_.height() + margin;
    auto outside = [&](const QPointF& a, const QPointF& b) {
        return (a.x() < -margin && b.x() < -margin) || (a.x() > right && b.x() > right) ||
               (a.y() < -margin && b.y() < -margin) || (a.y() > bottom && b.y() > bottom);
    };
    qsizetype start = 0;
    const qsizetype n = pending_.size();
    for (qsizetype i = 1; i <= n; ++i) {
        if (i < n && !outside(pending_[i - 1], pending_[i]))
            continue;
        if (i - start >= 2)
            drawPolyline(pending_.constData() + start, static_cast<int>(i - start));
        start = i;
    }
    pending_.clear();
}

void ScopeImagePage::drawPolyline(const QPointF* points, int count)
{
    // Thin copied lines, the traces, are drawn straight into the image: the same pixels at
    // a fraction of the painter's cost. The painter never gets a transform, clip, opacity
    // or antialiasing here, so nothing else could change what it would light.
    if (pendingMode_ == DrawCopyPen && pendingWidth_ == 1) {
        ThinPolyline line(reinterpret_cast<uint32_t*>(image_.bits()), static_cast<int>(image_.bytesPerLine() / 4),
                          image_.width(), image_.height(), qColour(pendingColour_).rgb());
        if (line.draw(points, count, true))
            return;
    }
    QPainter& p = painter();
    applyPen(p);
    p.drawPolyline(points, count);
}

void ScopeImagePage::Print(const std::string& text)
{
    Flush();
    QPainter& p = painter();
    // Text is drawn plainly whatever DrawMode says: on a black page a masking label vanishes.
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(qColour(ForeColor));
    const QPointF at = toPixel(CurrentX, CurrentY);
    const QFontMetricsF metrics(font_);
    p.drawText(QPointF(at.x(), at.y() + metrics.ascent()), QString::fromStdString(text));
    CurrentX += TextWidth(text);
}

float ScopeImagePage::TextWidth(const std::string& text) const
{
    const QFontMetricsF metrics(font_);
    return static_cast<float>(metrics.horizontalAdvance(QString::fromStdString(text)) * ScaleWidth / image_.width());
}

float ScopeImagePage::TextHeight(const std::string&) const
{
    const QFontMetricsF metrics(font_);
    return static_cast<float>(metrics.height() * ScaleHeight / image_.height());
}

bool ScopeImagePage::KeepPicture()
{
    Flush();
    kept_ = image_.copy();
    return true;
}

bool ScopeImagePage::RestorePicture()
{
    if (kept_.size() != image_.size() || kept_.format() != image_.format())
        return false;
    endPainting();
    pending_.clear();
    std::memcpy(image_.bits(), kept_.constBits(), static_cast<size_t>(kept_.sizeInBytes()));
    return true;
}

const QImage& ScopeImagePage::image()
{
    Flush();
    return image_;
}

} // namespace orvik
