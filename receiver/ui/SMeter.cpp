#include "receiver/ui/SMeter.h"

#include "common/Format.h"
#include "dsp/ORVIK.h"
#include "receiver/ReceiverCore.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Twips.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace orvik {

namespace {

constexpr uint32_t White = 0xFFFFFF;
constexpr uint32_t Black = 0;
// The printed scale's top and the gap between it and the ticks, twips.
constexpr int32_t ScaleTextTop = 0;
constexpr int32_t TickGap = 2 * TwipsPerPixel;

PictureBox* meterPicture(QWidget* window, int index)
{
    return qobject_cast<PictureBox*>(controlElement(window, "picSmeter", index));
}

void prepareSurface(PictureBox* picture)
{
    picture->clearDrawing();
    picture->setVisible(true);
    setTextColour(picture, White);
    setBackColour(picture, Black);
    QFont font = picture->font();
    font.setPointSizeF(7);
    picture->setFont(font);
}

bool levelBarBusy = false;

} // namespace

std::vector<QWidget*> SMeterTickWidgets(QWidget* window)
{
    std::vector<QWidget*> ticks;
    for (int i = 0, n = controlCount(window, "shpSMeterTick"); i < n; ++i)
        ticks.push_back(controlElement(window, "shpSMeterTick", i));
    return ticks;
}

void ShowLevelBar(const std::vector<QWidget*>& ticks, float level)
{
    if (levelBarBusy)
        return;
    levelBarBusy = true;
    const int n = SMeterTicks(level);
    for (size_t i = 0; i < ticks.size(); ++i)
        ticks[i]->setVisible(static_cast<int>(i) <= n);
    levelBarBusy = false;
}

void ShowLevelBar(QWidget* window, float level) { ShowLevelBar(SMeterTickWidgets(window), level); }

void DrawSMeter(QWidget* window)
{
    PictureBox* meter = meterPicture(window, 0);
    PictureBox* copy = meterPicture(window, 1);
    PictureBox* scale = meterPicture(window, 2);
    if (!meter || !copy || !scale)
        return;

    prepareSurface(meter);
    meter->raise();
    prepareSurface(copy);
    copy->setGeometry(meter->geometry());
    prepareSurface(scale);
    // Two-digit numbers fill a cell at this size: a narrow face keeps neighbours apart.
    QFont narrow = scale->font();
    narrow.setStretch(QFont::Condensed);
    scale->setFont(narrow);

    // Worked out in the scale picture's own units (twips). The printed scale takes the top
    // row and the ticks stand under it: a lit tick is opaque, so a number in its strip
    // would vanish as the bar rises.
    const TwipsRect area = twipsGeometry(scale);
    const int ticks = controlCount(window, "shpSMeterTick");
    if (ticks == 0)
        return;
    const QFontMetrics metrics(scale->font());
    const int32_t textTop = ScaleTextTop;
    const int32_t tickTop = textTop + pixelsToTwips(metrics.height()) + TickGap;
    const double tickWidth = static_cast<double>(area.width) / ticks;
    const int32_t tickHeight = std::max<int32_t>(
        TwipsPerPixel, std::min(static_cast<int32_t>(3.0 / 7.0 * std::abs(area.height)), area.height - tickTop));
    for (int i = 0; i < ticks; ++i) {
        placeTwips(controlElement(window, "shpSMeterTick", i),
                   {static_cast<int32_t>(std::floor(i * tickWidth + 0.5)), tickTop, static_cast<int32_t>(tickWidth),
                    tickHeight});
    }

    const int32_t cell = static_cast<int32_t>(std::floor(area.width / 15.0 + 0.5));
    for (int k = 1; k <= 15; ++k) {
        std::string text;
        if (k < 10) {
            text = Format(k, "#");
        } else {
            const double overS9 = 20.0 * ORVIK::Log10(std::pow(2.0, k)) - 54.0;
            text = Format(overS9, k == 10 ? "+#" : "#");
        }
        const QString label = QString::fromStdString(text);
        const int32_t textWidth = pixelsToTwips(metrics.horizontalAdvance(label));
        const int32_t x = (cell - textWidth) / 2 + (k - 1) * cell;
        scale->print(label, QPoint(twipsToPixels(x), twipsToPixels(textTop)), White);
    }

    ShowLevelBar(window, 0.0f);
}

} // namespace orvik
