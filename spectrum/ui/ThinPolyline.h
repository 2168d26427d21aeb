#pragma once

#include <QPointF>

#include <cstdint>

namespace orvik {

// Draws polylines one pixel wide in an opaque colour straight into a 32-bit image, lighting
// exactly the pixels that QPainter's raster engine lights for an aliased one-pixel solid pen
// without transform or clip: the same fixed-point steps, the same clipping to one pixel past
// the image, the same joins and square caps. The painter goes through a general span
// blender for every pixel; a spectrum trace lights a few hundred thousand a frame.
class ThinPolyline {
public:
    // pixels: the first line of a width x height image, pixelsPerLine apart.
    ThinPolyline(uint32_t* pixels, int pixelsPerLine, int width, int height, uint32_t argb);

    // Points in pixels, finite. False, drawing nothing, for what this does not draw as the
    // painter would: fewer than two points, more than the painter takes at once, or a
    // polyline ending where it starts (the painter closes it).
    bool draw(const QPointF* points, int count, bool squareCaps);

private:
    struct Pixel {
        int x, y;
    };
    // Clips the segment to one pixel around the image; false when nothing of it is left.
    bool clip(double& x1, double& y1, double& x2, double& y2);
    // Each false when the segment was on the image but lit no pixel.
    bool segment(double x1, double y1, double x2, double y2, int caps);
    bool steep(int x1, int y1, int x2, int y2, int caps, Pixel last);
    bool shallow(int x1, int y1, int x2, int y2, int caps, Pixel last);
    void plot(int x, int y)
    {
        if (static_cast<unsigned>(x) < static_cast<unsigned>(width_) &&
            static_cast<unsigned>(y) < static_cast<unsigned>(height_))
            pixels_[static_cast<ptrdiff_t>(y) * pixelsPerLine_ + x] = colour_;
    }

    uint32_t* pixels_;
    int pixelsPerLine_;
    int width_;
    int height_;
    uint32_t colour_;
    double xMin_, xMax_, yMin_, yMax_;
    // The last pixel of the segment before and the way it ran, for the joins.
    Pixel lastPixel_{};
    int lastDirection_ = 0;
    bool lastAxisAligned_ = false;
};

} // namespace orvik
