#pragma once

#include <cstdint>
#include <string>

namespace orvik {

// One display page of the analyser: a picture with its own user coordinate system
// (ScaleLeft/ScaleTop at the top-left corner, ScaleWidth across, ScaleHeight down; a
// negative ScaleHeight makes values grow upward), a current point, pen state and text
// output. Geometry (Left, Top, Width, Height) is in twips. The analyser draws through
// this interface only, so the drawing code needs no widget library.
class ScopePage {
public:
    virtual ~ScopePage() = default;

    // Copy pen (13), not-xor pen (10) and mask-not-pen (3); they act on lines only.
    static constexpr int DrawCopyPen = 13;
    static constexpr int DrawNotXorPen = 10;
    static constexpr int DrawMaskNotPen = 3;

    float ScaleLeft = 0;
    float ScaleTop = 0;
    float ScaleWidth = 1;
    float ScaleHeight = 1;
    int ScaleMode = 0;
    uint32_t BackColor = 0;
    uint32_t ForeColor = 0;
    int DrawWidth = 1;
    int DrawMode = DrawCopyPen;
    int DrawStyle = 0;
    float CurrentX = 0;
    float CurrentY = 0;

    int32_t Left() const { return left_; }
    int32_t Top() const { return top_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // Sets the geometry; the drawing surface follows.
    virtual void Move(int32_t left, int32_t top, int32_t width, int32_t height)
    {
        left_ = left;
        top_ = top;
        width_ = width;
        height_ = height;
    }
    // ScaleHeight of the container, twips.
    virtual int32_t ContainerScaleHeight() const = 0;

    virtual void SetFont(const std::string& name, float size) = 0;
    virtual std::string FontName() const = 0;
    virtual float FontSize() const = 0;

    // True while a drawing is being composed; False hands the picture to the screen.
    virtual void SetAutoRedraw(bool on) = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Visible() const = 0;
    // Brings the page in front of its sibling.
    virtual void ZOrder() = 0;

    // Fills the page with BackColor; the current point goes to the top-left.
    virtual void Cls() = 0;
    // A line in ForeColor, DrawWidth and DrawMode; (x2, y2) becomes the current point.
    virtual void Line(float x1, float y1, float x2, float y2) = 0;
    void LineTo(float x, float y) { Line(CurrentX, CurrentY, x, y); }
    // The same as LineTo through each of the count points in turn.
    virtual void PolylineTo(const float* x, const float* y, int count)
    {
        for (int k = 0; k < count; ++k)
            LineTo(x[k], y[k]);
    }
    // Text in ForeColor with its top-left at the current point, which moves to its right end.
    virtual void Print(const std::string& text) = 0;
    // Size of a text in user units; the height carries the sign of ScaleHeight.
    virtual float TextWidth(const std::string& text) const = 0;
    virtual float TextHeight(const std::string& text) const = 0;
    // Hands any pending output to the surface (before the event loop runs).
    virtual void Flush() {}
    // A page that can keep a copy of its picture lets a drawing that would come out the
    // same be put back instead of drawn again. KeepPicture keeps the picture as it stands;
    // RestorePicture puts the kept one back, false when there is none of the present size.
    virtual bool KeepPicture() { return false; }
    virtual bool RestorePicture() { return false; }

private:
    int32_t left_ = 0;
    int32_t top_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

} // namespace orvik
