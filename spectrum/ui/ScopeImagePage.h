#pragma once

#include "spectrum/ScopePage.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QPolygonF>

#include <memory>

class QWidget;

namespace orvik {

class ScopeView;

// A display page drawn into an off-screen QImage. With a picture control it takes that
// control's place on the window (geometry, visibility, stacking) and shows the image
// through a ScopeView laid over it; without one it is a bare image (tests, benchmarks).
// Consecutive lines are collected and drawn as one polyline.
class ScopeImagePage : public ScopePage {
public:
    explicit ScopeImagePage(QWidget* picture = nullptr);
    ~ScopeImagePage() override;

    void Move(int32_t left, int32_t top, int32_t width, int32_t height) override;
    int32_t ContainerScaleHeight() const override;
    // Without a picture control the container height is given here (twips).
    void setContainerScaleHeight(int32_t twips) { containerHeight_ = twips; }

    void SetFont(const std::string& name, float size) override;
    std::string FontName() const override;
    float FontSize() const override;
    void SetAutoRedraw(bool on) override;
    void SetVisible(bool visible) override;
    bool Visible() const override { return visible_; }
    void ZOrder() override;
    void Cls() override;
    void Line(float x1, float y1, float x2, float y2) override;
    void PolylineTo(const float* x, const float* y, int count) override;
    void Print(const std::string& text) override;
    float TextWidth(const std::string& text) const override;
    float TextHeight(const std::string& text) const override;
    void Flush() override;
    bool KeepPicture() override;
    bool RestorePicture() override;

    // The page as last drawn (pending lines included).
    const QImage& image();
    QSize pixelSize() const { return image_.size(); }
    QWidget* picture() const { return picture_; }
    ScopeView* view() const { return view_; }
    // Pixel position on the page to user units and back.
    QPointF toUser(QPointF pixel) const;
    QPointF toPixel(float x, float y) const;

private:
    QPainter& painter();
    void endPainting();
    void applyPen(QPainter& p);
    void drawPolyline(const QPointF* points, int count);

    QWidget* picture_ = nullptr;
    ScopeView* view_ = nullptr;
    QImage image_;
    QImage kept_;
    std::unique_ptr<QPainter> painter_;
    QFont font_;
    QPolygonF pending_;
    // User point of pending_'s last pixel.
    float lastX_ = 0;
    float lastY_ = 0;
    uint32_t pendingColour_ = 0;
    int pendingWidth_ = 1;
    int pendingMode_ = DrawCopyPen;
    int32_t containerHeight_ = 0;
    bool visible_ = true;
};

} // namespace orvik
