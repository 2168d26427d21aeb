#include "shell/ui/ColourScheme.h"

#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/SettingsStore.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Dial.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextEdit>

#include <array>
#include <cstdlib>

namespace orvik {

namespace {

const QString MainSection = QStringLiteral("frmMain");

constexpr uint32_t OptionNormal = 0xC0C000;
constexpr uint32_t OptionChosen = 0xFFFF00;

// Option groups whose click handlers give the chosen option the highlight.
const char* const HighlightedGroups[] = {"optMode", "optFilter", "optIFFilter", "optNotch", "optAGC",
                                         "optDisplaySize"};

struct ColourKey {
    const char* key;
    uint32_t SDRColourSchemes::*field;
};

// In the order they are read at start-up.
constexpr std::array<ColourKey, 7> ColourKeys{{
    {"SDRBackgroundColour", &SDRColourSchemes::SDRBackgroundColour},
    {"SDRLabelColour", &SDRColourSchemes::SDRLabelColour},
    {"SDRTuningColour", &SDRColourSchemes::SDRTuningColour},
    {"SDRFrameNormalColour", &SDRColourSchemes::SDRFrameNormalColour},
    {"SDRFrameFocusColour", &SDRColourSchemes::SDRFrameFocusColour},
    {"ScrollableLabelNormalColour", &SDRColourSchemes::ScrollableLabelNormalColour},
    {"ScrollableLabelFocusColour", &SDRColourSchemes::ScrollableLabelFocusColour},
}};

// A control of the window itself. Windows it owns (the configuration dialog) are its
// children too, but their controls keep their own colours.
bool ownControl(const QWidget* window, const QWidget* control) { return control->window() == window; }

QWidget* ownNamed(const QWidget* window, const QString& name)
{
    for (QWidget* control : window->findChildren<QWidget*>(name))
        if (ownControl(window, control))
            return control;
    return nullptr;
}

QWidget* ownElement(const QWidget* window, const QString& arrayName, int index)
{
    return ownNamed(window, controlName(arrayName, index));
}

int ownCount(const QWidget* window, const QString& arrayName)
{
    int count = 0;
    while (ownElement(window, arrayName, count))
        ++count;
    return count;
}

// The controls of the window: every named descendant that is not one of Qt's own parts.
QList<QWidget*> namedControls(QWidget* window)
{
    QList<QWidget*> controls;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && ownControl(window, child))
            controls.append(child);
    }
    return controls;
}

void colourArray(QWidget* window, const QString& arrayName, uint32_t colour)
{
    const int count = ownCount(window, arrayName);
    for (int i = 0; i < count; ++i)
        setTextColour(ownElement(window, arrayName, i), colour);
}

void colourNamed(QWidget* window, const char* name, uint32_t colour)
{
    if (QWidget* control = ownNamed(window, QString::fromLatin1(name)))
        setTextColour(control, colour);
}

void colourByKind(QWidget* window, const SDRColourSchemes& scheme)
{
    const uint32_t background = designColour(window->palette().color(QPalette::Window));
    for (QWidget* control : namedControls(window)) {
        if (qobject_cast<QGroupBox*>(control)) {
            setBackColour(control, background);
            setTextColour(control, scheme.SDRFrameNormalColour);
        } else if (qobject_cast<QLabel*>(control) || qobject_cast<QRadioButton*>(control) ||
                   qobject_cast<QCheckBox*>(control)) {
            setBackColour(control, background);
            setTextColour(control, scheme.SDRLabelColour);
        } else if (qobject_cast<QLineEdit*>(control) || qobject_cast<QTextEdit*>(control) ||
                   qobject_cast<PictureBox*>(control) || qobject_cast<ImageBox*>(control) ||
                   qobject_cast<QComboBox*>(control) || qobject_cast<ShapeWidget*>(control)) {
            setBackColour(control, background);
        }
    }
}

} // namespace

uint32_t DarkenColour(uint32_t colour, int percent)
{
    const double f = percent / 100.0;
    // The colour is a signed 32-bit value; the divisions truncate toward zero.
    const int64_t value = static_cast<int32_t>(colour);
    const int64_t high = value / 65536;
    const int64_t middle = (value / 256) & 255;
    const int64_t low = value & 255;
    auto scale = [f](int64_t part) { return static_cast<uint32_t>(RoundEven(static_cast<double>(part) * f)) & 0xFFu; };
    return scale(high) * 65536u + scale(middle) * 256u + scale(low);
}

SDRColourSchemes defaultColourScheme()
{
    SDRColourSchemes scheme;
    scheme.SDRBackgroundColour = 0;
    scheme.SDRLabelColour = DarkenColour(0xFFFF00, 75);
    scheme.SDRFrameFocusColour = 0xFFFF00;
    scheme.SDRFrameNormalColour = DarkenColour(scheme.SDRFrameFocusColour, 75);
    scheme.SDRTuningColour = 0xFF;
    scheme.ScrollableLabelNormalColour = DarkenColour(0xFFFF00, 75);
    scheme.ScrollableLabelFocusColour = 0xFF;
    return scheme;
}

void RestoreColours(const SettingsStore& store, SDRColourSchemes& scheme)
{
    for (const ColourKey& entry : ColourKeys) {
        uint32_t& field = scheme.*entry.field;
        const QString current = QString::number(static_cast<int32_t>(field));
        const QString text = store.read(MainSection, entry.key, current);
        const std::optional<int32_t> value = ParseInt32(text.toStdString());
        if (!value) {
            AddLog(QStringLiteral("RestoreColours : %1=\"%2\" is not a colour, kept %3").arg(entry.key, logValue(text), current));
            continue;
        }
        field = static_cast<uint32_t>(*value);
    }
}

void SaveColours(SettingsStore& store, const SDRColourSchemes& scheme)
{
    for (const ColourKey& entry : ColourKeys)
        store.write(MainSection, entry.key, QString::number(static_cast<int32_t>(scheme.*entry.field)));
}

void setWindowBackground(QWidget* window, uint32_t colour)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, qColour(colour));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

QString adjusterLabelName(int id)
{
    static const char* const names[] = {
        "",                  // 0 unused
        "",                  // 1 frequency display
        "lblScopeChn1Gain",  "lblScopeChn1Shift", "lblScopeChn2Gain", "lblScopeChn2Shift",
        "lblScopeXWidth",    "lblFilterHi",       "lblFilterLo",      "lblNB",
        "lblOutVol",         "lblNotchC",         "lblNotchW",        "lblAGCAttack",
        "lblAGCDecay",       "lblScopeXCentre",
        "",                  // 16 scope area
        "lblIFHi",           "lblIFLo",           "lblSpectrumSmooth", "lblBFO",
        "lblY1Bright",       "lblY2Bright"};
    if (id < 0 || id >= static_cast<int>(std::size(names)))
        return {};
    return QString::fromLatin1(names[id]);
}

void HighlightOptionGroup(QWidget* window, const QString& arrayName, int chosen)
{
    colourArray(window, arrayName, OptionNormal);
    if (QWidget* option = ownElement(window, arrayName, chosen))
        setTextColour(option, OptionChosen);
}

void ReColour(QWidget* window, const SDRColourSchemes& scheme, const ReColourHooks& hooks)
{
    colourByKind(window, scheme);

    QWidget* dialPicture = ownNamed(window, QStringLiteral("picTuneDial"));
    auto* dial = qobject_cast<Dial*>(ownNamed(window, QStringLiteral("dialtuner")));
    if (dialPicture && dial)
        setBackColour(dialPicture, dial->BackColour());

    if (hooks.colourAdjusterRecords)
        hooks.colourAdjusterRecords(scheme);
    for (int id = 1; id <= 22; ++id) {
        const QString name = adjusterLabelName(id);
        if (!name.isEmpty())
            colourNamed(window, name.toLatin1().constData(), scheme.ScrollableLabelNormalColour);
    }

    const uint32_t tuningDim = DarkenColour(scheme.SDRTuningColour, 75);
    colourArray(window, "lbl7Seg", tuningDim);

    const uint32_t pointColour = DarkenColour(scheme.SDRTuningColour, 50);
    const int points = ownCount(window, QStringLiteral("shpDP"));
    for (int i = 0; i < points; ++i) {
        auto* point = qobject_cast<ShapeWidget*>(ownElement(window, QStringLiteral("shpDP"), i));
        if (!point)
            continue;
        point->setFillColour(pointColour);
        point->setBorderColour(pointColour);
        setBackColour(point, pointColour);
    }

    colourArray(window, "lblScale", tuningDim);

    colourNamed(window, "lblTuningRate", scheme.SDRTuningColour);
    colourNamed(window, "lblTuneDialRate", 0);
    colourNamed(window, "chkTuneLo", scheme.SDRTuningColour);
    colourNamed(window, "lblBFO", scheme.SDRTuningColour);
    colourNamed(window, "lblTuningRateDesc", scheme.SDRTuningColour);
    colourNamed(window, "lblClock", tuningDim);
    colourNamed(window, "lblRecordSize", scheme.ScrollableLabelFocusColour);
    colourNamed(window, "lblRecordTime", scheme.ScrollableLabelFocusColour);

    const uint32_t powerColours[] = {0xFF00, 0xFF, 0xFFFF};
    for (int i = 0; i < 3; ++i)
        if (QWidget* button = ownElement(window, QStringLiteral("optPwr"), i))
            setTextColour(button, powerColours[i]);

    if (QWidget* page = ownElement(window, QStringLiteral("picScope"), 0)) {
        setBackColour(page, hooks.scopeBackColour);
        if (QWidget* second = ownElement(window, QStringLiteral("picScope"), 1))
            setBackColour(second, backColour(page));
    }

    if (QWidget* meter = ownElement(window, QStringLiteral("picSmeter"), 0)) {
        setBackColour(meter, 0);
        for (int i = 1; i <= 2; ++i)
            if (QWidget* other = ownElement(window, QStringLiteral("picSmeter"), i))
                setBackColour(other, backColour(meter));
    }

    if (hooks.drawSMeter)
        hooks.drawSMeter();

    // Step 1 gave every option the label colour; the chosen option of each group stays marked.
    for (const char* group : HighlightedGroups) {
        const QString name = QString::fromLatin1(group);
        const int count = ownCount(window, name);
        for (int i = 0; i < count; ++i) {
            auto* option = qobject_cast<QRadioButton*>(ownElement(window, name, i));
            if (option && option->isChecked()) {
                HighlightOptionGroup(window, name, i);
                break;
            }
        }
    }
}

} // namespace orvik
