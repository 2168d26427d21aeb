#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeImagePage.h"
#include "tests/spectrum/AnalyserRig.h"

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace orvik;
using namespace orvik::test;

namespace {

QRgb rgb(uint32_t design) { return qRgb(design & 0xFF, (design >> 8) & 0xFF, (design >> 16) & 0xFF); }

// The analyser on two image pages of the designed size (600 x 179 pixels).
template <typename Page = ScopeImagePage>
struct ImageRig {
    Page page0;
    Page page1;
    clsSpectrumAnalyser analyser;

    ImageRig()
    {
        for (ScopeImagePage* p : {&page0, &page1}) {
            p->setContainerScaleHeight(2910);
            p->Move(30, 180, 9000, 2680);
        }
        analyser.FSampling = 48000;
        analyser.Order = 11;
        analyser.picDisplay0(&page0);
        analyser.picDisplay1(&page1);
        analyser.FStart = 0;
        analyser.FEnd = 24000;
        analyser.Init();
        analyser.Active = true;
    }

    // Analyses and draws one frame; returns the page it went to.
    const QImage& frame(const std::vector<float>& ch1, const std::vector<float>& ch2)
    {
        Page& page = analyser.ActivePage() == 0 ? page0 : page1;
        analyser.LoadSamples_S(ch1.data(), ch2.data());
        analyser.Display();
        return page.image();
    }
};

// A page that cannot keep its picture: every frame draws its graticule. It notes where each
// text starts.
class DrawingPage final : public ScopeImagePage {
public:
    struct Placed {
        std::string text;
        float x;
        uint32_t colour;
    };
    std::vector<Placed> placed;
    bool KeepPicture() override { return false; }
    void Print(const std::string& text) override
    {
        placed.push_back({text, CurrentX, ForeColor});
        ScopeImagePage::Print(text);
    }
};

int countColour(const QImage& image, QRgb colour, QRect area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                ++n;
    return n;
}

} // namespace

TEST(ScopeImage, TheGraticuleLandsOnTheExpectedPixels)
{
    ImageRig<> rig;
    rig.analyser.setMode(1);
    const std::vector<float> silence(2048, 0.0F);
    rig.analyser.setChn1Enabled(false);
    rig.analyser.setChn2Enabled(false);
    const QImage& image = rig.frame(silence, silence);
    ASSERT_EQ(image.width(), 600);
    ASSERT_EQ(image.height(), 179);
    const QRgb grid = rgb(rig.analyser.GraticuleColour);
    EXPECT_EQ(image.pixel(200, 0), grid);      // the top edge
    EXPECT_EQ(image.pixel(0, 90), grid);       // the left edge
    EXPECT_EQ(image.pixel(200, 89), grid);     // the middle line of ten divisions
    EXPECT_EQ(image.pixel(300, 40), rgb(0xC0C0)); // the centre line
    EXPECT_EQ(image.pixel(20, 40), qRgb(0, 0, 0));
}

TEST(ScopeImage, AToneIsDrawnAtTheColumnOfItsFrequency)
{
    ImageRig<> rig;
    clsSpectrumAnalyser& a = rig.analyser;
    a.setLogMode(true);
    a.setMode(0);
    a.setFastMode(true);
    a.setChn2Enabled(false);
    a.ReverseSpectrum = true;
    const QImage& image = rig.frame(tone(2048, 256, 10), tone(2048, 256, 10));
    // The highest point of the trace is the tone: 6000 Hz of 24000 across 600 pixels.
    const QRgb trace = rgb(a.Y1Colour);
    int topX = -1;
    int topY = image.height();
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < topY; ++y)
            if (image.pixel(x, y) == trace) {
                topX = x;
                topY = y;
                break;
            }
    EXPECT_NEAR(topX, 150, 1);
    // log10((10 x 1024)^2) = 8.02, less a third of the top: 5.56 of 7.38 from the bottom.
    EXPECT_NEAR(topY, (7.380211 - (8.0206 - 7.380211 / 3)) / 7.380211 * 179, 2);
}

TEST(ScopeImage, LevelLabelsShowDespiteTheMaskingPenAndTheNotchInverts)
{
    ImageRig<> rig;
    clsSpectrumAnalyser& a = rig.analyser;
    a.setLogMode(true);
    a.setMode(0);
    const std::vector<float> silence(2048, 0.0F);
    const QImage& image = rig.frame(silence, silence);
    EXPECT_GT(countColour(image, rgb(a.YTextColour), image.rect()), 20);
    EXPECT_GT(countColour(image, rgb(a.XTextColour), image.rect()), 20);

    clsSpectrumAnalyser::Environment env;
    env.NotchCentre = [] { return 12000; };
    env.NotchWidth = [] { return 400; };
    a.setEnvironment(env);
    a.ShowNotch = true;
    a.ReverseSpectrum = true;
    a.setChn1Enabled(false);
    a.setChn2Enabled(false);
    const QImage& notched = rig.frame(silence, silence);
    // Not-xor on the black page gives the inverse of the pen colour.
    EXPECT_EQ(notched.pixel(296, 20) & 0xFFFFFF, ~rgb(a.NotchFilterColour) & 0xFFFFFF);
}

TEST(ScopeImage, HugeValuesAreClippedNotPassedToThePainter)
{
    ImageRig<> rig;
    clsSpectrumAnalyser& a = rig.analyser;
    a.setFastMode(true);
    a.ShowFilter = true;
    std::vector<float> taps(2048, 0.0F);
    taps[0] = 1.0F;
    a.LoadFilterCoeffs_T_S(taps.data());
    const QImage& image = rig.frame(tone(2048, 100, 30000), tone(2048, 100, 30000));
    // The linear power of a full-scale tone is far above the top: drawn through the top row.
    EXPECT_GT(countColour(image, rgb(a.Y2Colour), QRect(0, 0, 600, 2)), 0);
}

// Frames that put the kept graticule back look exactly like frames that draw it, through
// every change the graticule is drawn from.
TEST(ScopeImage, AKeptGraticuleLooksLikeADrawnOneThroughEveryChange)
{
    ImageRig<> kept;
    ImageRig<DrawingPage> drawn;
    const auto ch1 = tone(2048, 300.5, 3000);
    const auto ch2 = tone(2048, 120, 200);
    const std::vector<std::function<void(clsSpectrumAnalyser&)>> changes = {
        [](clsSpectrumAnalyser&) {},
        [](clsSpectrumAnalyser& a) { a.FOffset = 7076000; },
        [](clsSpectrumAnalyser&) {},
        [](clsSpectrumAnalyser& a) { a.GraticuleColour = 0x404040; },
        [](clsSpectrumAnalyser& a) { a.XTextColour = 0x00FFFF; },
        [](clsSpectrumAnalyser& a) { a.setLogMode(true); a.setMode(0); },
        [](clsSpectrumAnalyser& a) { a.YTextColour = 0xFF00FF; },
        [](clsSpectrumAnalyser& a) { a.setChn1Gain(2); },
        [](clsSpectrumAnalyser& a) { a.StartBin = 75; a.StopBin = 948; },
        [](clsSpectrumAnalyser& a) { a.ReverseSpectrum = true; },
        [](clsSpectrumAnalyser& a) { a.ScopeBackColour = 0x200000; },
        [](clsSpectrumAnalyser& a) { a.FOffset = 0; },
        [](clsSpectrumAnalyser& a) { a.setMode(1); },
        [](clsSpectrumAnalyser&) {},
        [](clsSpectrumAnalyser& a) { a.setMode(0); },
    };
    for (size_t step = 0; step < changes.size(); ++step) {
        changes[step](kept.analyser);
        changes[step](drawn.analyser);
        // Two frames on each page: a page keeps a graticule drawn twice in a row.
        for (int frame = 0; frame < 6; ++frame) {
            const QImage a = kept.frame(ch1, ch2);
            const QImage b = drawn.frame(ch1, ch2);
            ASSERT_EQ(a, b) << "change " << step << " frame " << frame;
        }
    }
}

// Runs of a trace that leave the page far beyond one edge are left out of what the painter
// gets; the picture is the one the whole polyline gives.
TEST(ScopeImage, ATraceLeavingThePageLooksAsWhenPaintedWhole)
{
    ScopeImagePage page;
    page.Move(0, 0, 9000, 2680);
    page.ScaleLeft = 0;
    page.ScaleWidth = 1024;
    page.ScaleTop = 24e6F;
    page.ScaleHeight = -48e6F;
    page.ForeColor = 0xFF00;
    page.BackColor = 0;
    page.Cls();
    std::vector<float> xs, ys;
    uint32_t seed = 99;
    for (int i = 0; i <= 1024; ++i) {
        seed = seed * 1664525U + 1013904223U;
        // Mostly far above, below, or just past an edge; now and then on the page.
        const float kinds[] = {1e12F, -3e11F, 2.5e7F, static_cast<float>(seed % 40000000) - 2e7F};
        xs.push_back(static_cast<float>(i));
        ys.push_back(kinds[(seed >> 12) % 4]);
    }
    page.CurrentX = xs[0];
    page.CurrentY = ys[0];
    page.PolylineTo(xs.data() + 1, ys.data() + 1, static_cast<int>(xs.size()) - 1);
    const QImage drawn = page.image().copy();

    QImage whole(drawn.size(), drawn.format());
    whole.fill(Qt::black);
    QPolygonF points;
    for (size_t i = 0; i < xs.size(); ++i)
        points << page.toPixel(xs[i], ys[i]);
    QPainter painter(&whole);
    QPen pen(QColor(0, 255, 0));
    pen.setWidth(1);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    painter.drawPolyline(points);
    painter.end();
    EXPECT_GT(countColour(drawn, qRgb(0, 255, 0), drawn.rect()), 100);
    EXPECT_EQ(drawn, whole);
}

// The labels at the ends of the axis ("7 138" at the left) are as whole as the others, in
// the page's own font, whichever way the axis runs.
TEST(ScopeImage, EveryFrequencyLabelLiesWholeOnThePage)
{
    ImageRig<DrawingPage> rig;
    rig.analyser.FOffset = 7150000 - 12000;
    const std::vector<float> silence(2048, 0.0F);
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "reversed" : "upright");
        rig.analyser.ReverseSpectrum = reversed;
        rig.page0.placed.clear();
        rig.page1.placed.clear();
        rig.frame(silence, silence);
        int labels = 0;
        for (DrawingPage* page : {&rig.page0, &rig.page1})
            for (const auto& [text, x, colour] : page->placed) {
                if (colour != rig.analyser.XTextColour)
                    continue;
                ++labels;
                EXPECT_GE(x, 0.0F) << text;
                EXPECT_LE(x + page->TextWidth(text), page->ScaleWidth * 1.0001F) << text;
            }
        EXPECT_EQ(labels, 13);
    }
}
