#include "spectrum/ui/ScopeImagePage.h"
#include "spectrum/ui/ThinPolyline.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

using namespace orvik;

namespace {

constexpr QRgb Pen = qRgb(0x20, 0x80, 0xFF);

QImage blank(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(0x10, 0x00, 0x30));
    return image;
}

QImage painted(QSize size, const QPolygonF& points, bool squareCaps)
{
    QImage image = blank(size);
    QPainter painter(&image);
    QPen pen{QColor(Pen)};
    pen.setWidth(1);
    pen.setCapStyle(squareCaps ? Qt::SquareCap : Qt::FlatCap);
    painter.setPen(pen);
    painter.drawPolyline(points);
    painter.end();
    return image;
}

QImage thin(QSize size, const QPolygonF& points, bool squareCaps)
{
    QImage image = blank(size);
    ThinPolyline line(reinterpret_cast<uint32_t*>(image.bits()), static_cast<int>(image.bytesPerLine() / 4),
                      image.width(), image.height(), Pen);
    EXPECT_TRUE(line.draw(points.constData(), static_cast<int>(points.size()), squareCaps));
    return image;
}

int differingPixels(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

// A family of polylines: next point from the one before, the image size and the generator.
using Step = std::function<QPointF(QPointF, QSize, std::mt19937&)>;

double uniform(std::mt19937& random, double from, double to)
{
    return std::uniform_real_distribution<double>(from, to)(random);
}

void expectSameAsPainter(const char* family, const Step& step, int polylines, int minPoints, int maxPoints,
                         QSize minSize, QSize maxSize, uint32_t seed)
{
    std::mt19937 random(seed);
    int compared = 0;
    for (int k = 0; k < polylines; ++k) {
        const QSize size(minSize.width() + static_cast<int>(random() % (maxSize.width() - minSize.width() + 1)),
                         minSize.height() + static_cast<int>(random() % (maxSize.height() - minSize.height() + 1)));
        const int count = minPoints + static_cast<int>(random() % (maxPoints - minPoints + 1));
        QPolygonF points;
        QPointF at(uniform(random, -2, size.width()), uniform(random, 0, size.height()));
        for (int i = 0; i < count; ++i) {
            at = step(at, size, random);
            points << at;
        }
        // The painter closes a polyline that ends where it starts; ThinPolyline leaves those to it.
        if (points.first() == points.last())
            continue;
        const bool squareCaps = k % 4 != 0;
        const QImage expected = painted(size, points, squareCaps);
        const QImage actual = thin(size, points, squareCaps);
        ASSERT_EQ(differingPixels(expected, actual), 0) << family << " polyline " << k;
        ++compared;
    }
    EXPECT_GT(compared, polylines * 9 / 10) << family;
}

} // namespace

// Short polylines of every slope and turn, on small images so that many of them run off an
// edge: each lights exactly the pixels the painter lights.
TEST(ThinPolyline, LightsThePixelsThePainterLights)
{
    const QSize small(12, 10), large(70, 60);
    expectSameAsPainter(
        "anywhere",
        [](QPointF, QSize s, std::mt19937& r) {
            return QPointF(uniform(r, -3, s.width() + 3), uniform(r, -3, s.height() + 3));
        },
        1500, 2, 12, small, large, 1);
    // Quarter pixels: ends on pixel edges and centres, where rounding ties.
    expectSameAsPainter(
        "quarter pixels",
        [](QPointF, QSize s, std::mt19937& r) {
            return QPointF((r() % (4 * s.width() + 8)) / 4.0 - 1, (r() % (4 * s.height() + 8)) / 4.0 - 1);
        },
        1500, 2, 12, small, large, 2);
    // Tiny steps back and forth, many lighting no pixel of their own.
    expectSameAsPainter(
        "tiny steps",
        [](QPointF p, QSize s, std::mt19937& r) {
            return QPointF(std::clamp(p.x() + uniform(r, -1.2, 1.4), -2.0, s.width() + 2.0),
                           std::clamp(p.y() + uniform(r, -1.2, 1.2), -2.0, s.height() + 2.0));
        },
        1500, 2, 30, small, large, 3);
    // Along an edge of the image, in and out of the one pixel around it that is clipped to.
    expectSameAsPainter(
        "along the edges",
        [](QPointF p, QSize s, std::mt19937& r) {
            const bool vertical = r() % 2 != 0;
            const double edge = r() % 2 != 0 ? -1.2 : (vertical ? s.width() : s.height()) + 0.3;
            return vertical ? QPointF(edge + uniform(r, -0.9, 0.9), uniform(r, -2, s.height() + 2))
                            : QPointF(p.x() + uniform(r, -0.8, 1.0), edge + uniform(r, -0.9, 0.9));
        },
        1500, 2, 20, small, large, 4);
}

// Whole traces as the analyser draws them: a point every 0.5 to 0.75 pixels across the page.
TEST(ThinPolyline, DrawsWholeTracesAsThePainterDoes)
{
    const QSize page(600, 179), other(997, 411);
    struct Trace {
        const char* name;
        std::function<double(int, double, double)> y; // point index, page height, uniform 0..1
    };
    const Trace traces[] = {
        // A linear power: mostly near the bottom, with peaks far above the page.
        {"linear power", [](int, double h, double u) { return h - 20 * std::exp(7 * u); }},
        // A filter curve whose side lobes swing across half the page from bin to bin.
        {"side lobes", [](int i, double h, double) { return h / 2 - 0.9 * h * std::sin(2.9 * i) * std::exp(-i / 400.0); }},
        {"noise", [](int, double h, double u) { return h * u; }},
        {"clamped far off the page", [](int, double h, double u) { return std::max(h - 1e5 * std::pow(u, 8), -1e6); }},
        {"a quiet log trace", [](int i, double h, double u) { return 0.7 * h + 8 * std::sin(0.05 * i) + 3 * u; }},
    };
    std::mt19937 random(5);
    for (const Trace& trace : traces) {
        for (const QSize size : {page, other}) {
            for (int k = 0; k < 6; ++k) {
                const double step = size.width() / uniform(random, 800, 1200);
                QPolygonF points;
                for (int i = 0; i <= 1024; ++i)
                    points << QPointF(i * step, trace.y(i, size.height(), uniform(random, 0, 1)));
                ASSERT_EQ(differingPixels(painted(size, points, true), thin(size, points, true)), 0)
                    << trace.name << " on " << size.width() << " x " << size.height() << ", trace " << k;
            }
        }
    }
}

TEST(ThinPolyline, LeavesToThePainterWhatItDoesNotDraw)
{
    QImage image = blank(QSize(20, 20));
    const QImage before = image.copy();
    ThinPolyline line(reinterpret_cast<uint32_t*>(image.bits()), static_cast<int>(image.bytesPerLine() / 4), 20, 20,
                      Pen);
    const QPointF closed[] = {{2, 2}, {15, 3}, {9, 14}, {2, 2}};
    const QPointF single[] = {{4, 4}};
    EXPECT_FALSE(line.draw(closed, 4, true));
    EXPECT_FALSE(line.draw(single, 1, true));
    EXPECT_EQ(image, before);
}

// On a page, lines in the page's colours come out as the painter draws them, the closed ones
// it is left with and the wide inverting ones included.
TEST(ThinPolyline, APageDrawsItsLinesAsThePainterWould)
{
    ScopeImagePage page;
    page.Move(0, 0, 9000, 2680);
    page.ScaleLeft = 0;
    page.ScaleWidth = 1024;
    page.ScaleTop = 100;
    page.ScaleHeight = -100;
    page.BackColor = 0x100020;
    page.Cls();
    const uint32_t trace = 0x20A0FF; // red, green, blue from the low byte up
    const uint32_t box = 0x00FF40;

    std::vector<float> xs, ys;
    std::mt19937 random(6);
    for (int i = 0; i <= 1024; ++i) {
        xs.push_back(static_cast<float>(i));
        ys.push_back(static_cast<float>(50 + 45 * std::sin(2.9 * i) + uniform(random, -3, 3)));
    }
    page.ForeColor = trace;
    page.CurrentX = xs[0];
    page.CurrentY = ys[0];
    page.PolylineTo(xs.data() + 1, ys.data() + 1, static_cast<int>(xs.size()) - 1);
    page.ForeColor = box;
    page.Line(100, 10, 900, 10);
    page.LineTo(900, 90);
    page.LineTo(100, 90);
    page.LineTo(100, 10);
    page.ForeColor = 0x8000C0;
    page.DrawWidth = 5;
    page.DrawMode = ScopePage::DrawNotXorPen;
    page.Line(512, 0, 512, 100);
    const QImage drawn = page.image().copy();

    QImage expected(drawn.size(), drawn.format());
    expected.fill(qRgb(0x20, 0x00, 0x10));
    QPainter painter(&expected);
    QPen pen(QColor(0xFF, 0xA0, 0x20));
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    QPolygonF points;
    for (size_t i = 0; i < xs.size(); ++i)
        points << page.toPixel(xs[i], ys[i]);
    painter.drawPolyline(points);
    pen.setColor(QColor(0x40, 0xFF, 0x00));
    painter.setPen(pen);
    painter.drawPolyline(QPolygonF({page.toPixel(100, 10), page.toPixel(900, 10), page.toPixel(900, 90),
                                    page.toPixel(100, 90), page.toPixel(100, 10)}));
    QPen wide(QColor(0xC0, 0x00, 0x80));
    wide.setWidth(5);
    wide.setCapStyle(Qt::FlatCap);
    painter.setPen(wide);
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    painter.drawPolyline(QPolygonF({page.toPixel(512, 0), page.toPixel(512, 100)}));
    painter.end();

    EXPECT_EQ(differingPixels(drawn, expected), 0);
    EXPECT_EQ(drawn.pixel(page.toPixel(300, 10).toPoint()), qRgb(0x40, 0xFF, 0x00));
}
