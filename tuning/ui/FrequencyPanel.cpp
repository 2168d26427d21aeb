#include "tuning/ui/FrequencyPanel.h"

#include "common/Format.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Dial.h"
#include "tuning/SynthDriver.h"
#include "tuning/clsVFO.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>

namespace orvik {

namespace {
constexpr int32_t DigitLeft = 75;
constexpr int32_t DigitPitch = 470;
constexpr int32_t DigitWidth = 450;
constexpr int32_t DigitTop = 30;
constexpr int32_t DigitHeight = 720;
constexpr int DigitCount = 9;
} // namespace

TwipsRect sevenSegmentDigitRect(int digit)
{
    return {DigitLeft + digit * DigitPitch, DigitTop, DigitWidth, DigitHeight};
}

void showClockAndIF(QWidget* window, const clsVFO& vfo)
{
    if (auto* label = window->findChild<QLabel*>(QStringLiteral("lblIFFreq")))
        label->setText(QString::fromStdString(Format(vfo.IFFrequency(), "#0 000 000;(#0.000 000)")));
    if (auto* label = window->findChild<QLabel*>(QStringLiteral("lblCLKINFreq")))
        if (const SynthDriver* chip = vfo.OscType())
            label->setText(QString::fromStdString(Format(chip->ClkIn(), "#0 000 000")));
}

void buildFrequencyControls(QWidget* window)
{
    auto* frame = addFrame(window, "frFreqCtl", "", {2580, 0, 9360, 2760});

    auto* display = addPicture(frame, "picFreqDisp", -1, {120, 180, 4380, 780});
    display->setFocusPolicy(Qt::StrongFocus);
    addImage(display, "img7SegArea", {0, 0, 4380, 780});

    QFont digitFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digitFont.setBold(true);
    digitFont.setPixelSize(40);
    for (int d = 0; d < DigitCount; ++d) {
        auto* digit = addLabel(display, "lbl7Seg", d, "8", sevenSegmentDigitRect(d));
        digit->setFont(digitFont);
        digit->setAlignment(Qt::AlignCenter);
    }
    // Decimal points after the 1 MHz, 1 kHz and 1 Hz digits.
    const int pointAfter[] = {1, 4, 7};
    for (int i = 0; i < 3; ++i) {
        const int32_t left = DigitLeft + (pointAfter[i] + 1) * DigitPitch - 45;
        addShape(display, "shpDP", i, {left, 600, 60, 60}, 0x80, 0x80);
    }
    // Placed round digit 0 as the digit selection places it.
    const TwipsRect first = sevenSegmentDigitRect(0);
    auto* marker = addShape(display, "shpTuneStep", -1,
                            {first.left - 20, first.top + 150, first.width + 40, first.height - 150}, 0, 0xFF);
    marker->setFilled(false);
    marker->setAttribute(Qt::WA_TransparentForMouseEvents);

    const int32_t scaleLeft = 120 + DigitLeft;
    addLabel(frame, "lblScale", 0, "MHz", {scaleLeft, 990, 2 * DigitPitch - 20, 240})->setAlignment(Qt::AlignCenter);
    addLabel(frame, "lblScale", 1, "KHz", {scaleLeft + 2 * DigitPitch, 990, 3 * DigitPitch - 20, 240})
        ->setAlignment(Qt::AlignCenter);
    addLabel(frame, "lblScale", 2, "Hz", {scaleLeft + 5 * DigitPitch, 990, 3 * DigitPitch - 20, 240})
        ->setAlignment(Qt::AlignCenter);
    addLabel(frame, "lblBFO", -1, "0", {scaleLeft + 8 * DigitPitch, 990, 700, 240});

    auto* dialPicture = addPicture(frame, "picTuneDial", -1, {4620, 60, 1080, 1200});
    auto* dial = new Dial(dialPicture);
    dial->setObjectName("dialtuner");
    placeTwips(dial, {60, 30, 960, 930});
    dial->setRange(0, 100);
    dial->setAttribute(Qt::WA_NoMousePropagation);
    addLabel(dialPicture, "lblTuneDialRate", -1, "x 100 Hz", {30, 960, 1020, 225}, "Right Click to Set Tune Step")
        ->setAlignment(Qt::AlignCenter);

    addLabel(frame, "lblTuningRate", -1, "x 100 kHz", {5820, 180, 1500, 255},
             "Left Click to Lock Tune Rate, Right Click to Set Tune Step");
    addLabel(frame, "lblTuningRateDesc", -1, "Tuning Rate", {5820, 450, 1500, 240});
    addCheck(frame, "chkTuneLo", -1, "Low LO", {5820, 960, 1500, 255});

    auto* steps = addCombo(frame, "cboTuningSteps", {5820, 180, 1500, 315});
    steps->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    steps->setVisible(false);

    addLabel(frame, "lblCLKINFreq", -1, "0 000 000", {7440, 240, 1800, 240});
    addLabel(frame, "lblIFFreq", -1, "0 000 000", {7440, 510, 1800, 240});
}

} // namespace orvik
