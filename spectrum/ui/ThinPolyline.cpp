#include "spectrum/ui/ThinPolyline.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace orvik {

namespace {

constexpr int NoPixel = INT_MIN;
constexpr int NoCaps = 0;
constexpr int CapBegin = 1;
constexpr int CapEnd = 2;

// Which way a segment was stepped; a steep one row by row, a shallow one column by column.
constexpr int TopToBottom = 1;
constexpr int BottomToTop = 2;
constexpr int LeftToRight = 4;
constexpr int RightToLeft = 8;
constexpr int VerticalMask = TopToBottom | BottomToTop;
constexpr int HorizontalMask = LeftToRight | RightToLeft;

// Pixel coordinates in 26.6 fixed point, truncated towards zero.
int fixed26(double v) { return static_cast<int>(v * 64.); }

// a / b in 16.16 fixed point; a and b in 26.6.
int divide16(int a, int b)
{
    if (std::abs(a) > 0x7fff)
        return static_cast<int>(static_cast<int64_t>(a) * (1 << 16) / b);
    return a * (1 << 16) / b;
}

int swapCaps(int caps) { return ((caps & CapBegin) << 1) | ((caps & CapEnd) >> 1); }

// A square cap reaches half a pixel past the end point.
void capAdjust(int caps, int& from, int& to, int& across, int step)
{
    if (caps & CapBegin) {
        from -= 32;
        across -= step >> 1;
    }
    if (caps & CapEnd)
        to += 32;
}

} // namespace

ThinPolyline::ThinPolyline(uint32_t* pixels, int pixelsPerLine, int width, int height, uint32_t argb)
    : pixels_(pixels), pixelsPerLine_(pixelsPerLine), width_(width), height_(height), colour_(argb),
      xMin_(-1), xMax_(width + 1), yMin_(-1), yMax_(height + 1)
{
}

bool ThinPolyline::draw(const QPointF* points, int count, bool squareCaps)
{
    if (count < 2 || count > 0xffff || points[0] == points[count - 1])
        return false;
    lastPixel_ = {NoPixel, NoPixel};
    lastDirection_ = 0;
    lastAxisAligned_ = false;
    int caps = squareCaps ? CapBegin : NoCaps;
    QPointF from = points[0];
    for (int i = 1; i < count; ++i) {
        if (i == count - 1 && squareCaps)
            caps |= CapEnd;
        // A segment after the first that lit no pixel and is shorter than one pixel (along x
        // plus along y) is dropped: the next one starts where it did.
        const QPointF to = points[i];
        const bool longEnough = std::abs(to.x() - from.x()) + std::abs(to.y() - from.y()) >= 1.0;
        if (segment(from.x(), from.y(), to.x(), to.y(), caps) || longEnough || i == 1)
            from = to;
        caps = NoCaps;
    }
    return true;
}

bool ThinPolyline::clip(double& x1, double& y1, double& x2, double& y2)
{
    // In floating point, so that no fixed-point value overflows.
    if (x1 < xMin_) {
        if (x2 <= xMin_)
            return false;
        y1 += (y2 - y1) / (x2 - x1) * (xMin_ - x1);
        x1 = xMin_;
    } else if (x1 > xMax_) {
        if (x2 >= xMax_)
            return false;
        y1 += (y2 - y1) / (x2 - x1) * (xMax_ - x1);
        x1 = xMax_;
    }
    if (x2 < xMin_) {
        lastPixel_.x = NoPixel;
        y2 += (y2 - y1) / (x2 - x1) * (xMin_ - x2);
        x2 = xMin_;
    } else if (x2 > xMax_) {
        lastPixel_.x = NoPixel;
        y2 += (y2 - y1) / (x2 - x1) * (xMax_ - x2);
        x2 = xMax_;
    }
    if (y1 < yMin_) {
        if (y2 <= yMin_)
            return false;
        x1 += (x2 - x1) / (y2 - y1) * (yMin_ - y1);
        y1 = yMin_;
    } else if (y1 > yMax_) {
        if (y2 >= yMax_)
            return false;
        x1 += (x2 - x1) / (y2 - y1) * (yMax_ - y1);
        y1 = yMax_;
    }
    if (y2 < yMin_) {
        lastPixel_.x = NoPixel;
        x2 += (x2 - x1) / (y2 - y1) * (yMin_ - y2);
        y2 = yMin_;
    } else if (y2 > yMax_) {
        lastPixel_.x = NoPixel;
        x2 += (x2 - x1) / (y2 - y1) * (yMax_ - y2);
        y2 = yMax_;
    }
    return true;
}

bool ThinPolyline::segment(double rx1, double ry1, double rx2, double ry2, int caps)
{
    if (!clip(rx1, ry1, rx2, ry2)) {
        lastPixel_.x = NoPixel;
        return true;
    }
    const int x1 = fixed26(rx1);
    const int y1 = fixed26(ry1);
    const int x2 = fixed26(rx2);
    const int y2 = fixed26(ry2);
    const int dx = std::abs(x2 - x1);
    const int dy = std::abs(y2 - y1);
    if (dx < dy)
        return steep(x1, y1, x2, y2, caps, lastPixel_);
    return dx == 0 || shallow(x1, y1, x2, y2, caps, lastPixel_);
}

bool ThinPolyline::steep(int x1, int y1, int x2, int y2, int caps, Pixel last)
{
    int direction = TopToBottom;
    const bool swapped = y1 > y2;
    if (swapped) {
        std::swap(y1, y2);
        std::swap(x1, x2);
        caps = swapCaps(caps);
        direction = BottomToTop;
    }
    const int xinc = divide16(x2 - x1, y2 - y1);
    int x = x1 * (1 << 10);
    // Turning back along the same axis: the turning pixel gets a cap so it is not lost.
    if ((lastDirection_ ^ VerticalMask) == direction)
        caps |= swapped ? CapEnd : CapBegin;
    capAdjust(caps, y1, y2, x, xinc);

    int y = (y1 + 32) >> 6;
    int ys = (y2 + 32) >> 6;
    const int round = xinc > 0 ? 32 : 0;
    // A cap that rounded the start past the pixel the segment before ended on starts there.
    if ((caps & CapBegin) && lastPixel_.y == y + 1)
        ++y;
    const bool lit = y != ys;
    if (lit) {
        x += ((y * (1 << 6)) + round - y1) * xinc >> 6;
        Pixel first{x >> 16, y};
        last = {(x + (ys - y - 1) * xinc) >> 16, ys - 1};
        if (swapped)
            std::swap(first, last);
        const bool axisAligned = std::abs(xinc) < (1 << 14);
        if (lastPixel_.x != NoPixel) {
            if (first.x == lastPixel_.x && first.y == lastPixel_.y) {
                // The join's pixel is already drawn.
                if (swapped) {
                    --ys;
                } else {
                    ++y;
                    x += xinc;
                }
            } else if (lastDirection_ != direction &&
                       ((axisAligned && lastAxisAligned_ && lastPixel_.x != first.x && lastPixel_.y != first.y) ||
                        std::abs(lastPixel_.x - first.x) > 1 || std::abs(lastPixel_.y - first.y) > 1)) {
                // A gap at the join: one more pixel closes it.
                if (swapped) {
                    ++ys;
                } else {
                    --y;
                    x -= xinc;
                }
            } else if (lastDirection_ == direction && std::abs(lastPixel_.x - first.x) <= 1 &&
                       std::abs(lastPixel_.y - first.y) > 1) {
                x += xinc >> 1;
                if (swapped)
                    last.x = x >> 16;
                else
                    last.x = (x + (ys - y - 1) * xinc) >> 16;
            }
        }
        lastDirection_ = direction;
        lastAxisAligned_ = axisAligned;
        do {
            plot(x >> 16, y);
            x += xinc;
        } while (++y < ys);
    }
    lastPixel_ = last;
    return lit;
}

bool ThinPolyline::shallow(int x1, int y1, int x2, int y2, int caps, Pixel last)
{
    int direction = LeftToRight;
    const bool swapped = x1 > x2;
    if (swapped) {
        std::swap(x1, x2);
        std::swap(y1, y2);
        caps = swapCaps(caps);
        direction = RightToLeft;
    }
    const int yinc = divide16(y2 - y1, x2 - x1);
    int y = y1 * (1 << 10);
    if ((lastDirection_ ^ HorizontalMask) == direction)
        caps |= swapped ? CapEnd : CapBegin;
    capAdjust(caps, x1, x2, y, yinc);

    int x = (x1 + 32) >> 6;
    int xs = (x2 + 32) >> 6;
    const int round = yinc > 0 ? 32 : 0;
    if ((caps & CapBegin) && lastPixel_.x == x + 1)
        ++x;
    const bool lit = x != xs;
    if (lit) {
        y += ((x * (1 << 6)) + round - x1) * yinc >> 6;
        Pixel first{x, y >> 16};
        last = {xs - 1, (y + (xs - x - 1) * yinc) >> 16};
        if (swapped)
            std::swap(first, last);
        const bool axisAligned = std::abs(yinc) < (1 << 14);
        if (lastPixel_.x != NoPixel) {
            if (first.x == lastPixel_.x && first.y == lastPixel_.y) {
                if (swapped) {
                    --xs;
                } else {
                    ++x;
                    y += yinc;
                }
            } else if (lastDirection_ != direction &&
                       ((axisAligned && lastAxisAligned_ && lastPixel_.x != first.x && lastPixel_.y != first.y) ||
                        std::abs(lastPixel_.x - first.x) > 1 || std::abs(lastPixel_.y - first.y) > 1)) {
                if (swapped) {
                    ++xs;
                } else {
                    --x;
                    y -= yinc;
                }
            } else if (lastDirection_ == direction && std::abs(lastPixel_.x - first.x) <= 1 &&
                       std::abs(lastPixel_.y - first.y) > 1) {
                y += yinc >> 1;
                if (swapped)
                    last.y = y >> 16;
                else
                    last.y = (y + (xs - x - 1) * yinc) >> 16;
            }
        }
        lastDirection_ = direction;
        lastAxisAligned_ = axisAligned;
        do {
            plot(x, y >> 16);
            y += yinc;
        } while (++x < xs);
    }
    lastPixel_ = last;
    return lit;
}

} // namespace orvik
