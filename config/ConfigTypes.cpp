#include "config/ConfigTypes.h"

#include "common/Format.h"
#include "common/Numeric.h"

#include <cmath>

namespace orvik {

namespace {

constexpr SwatchInfo Swatches[SwatchCount] = {
    {"shpSDRBackGroundColour", "cmdSDrBackGroundColour", "Backgrnd", "SDR Colours", 0},
    {"shpSDRLabelColour", "cmdSDrLabelColour", "Labels", "SDR Colours", 1},
    {"shpSDRTuningColour", "cmdSDRTuningColour", "Tuning", "SDR Colours", 2},
    {"shpSDRFrameNormalColour", "cmdSDRFrameNormalColour", "Normal", "Frame Colours", 3},
    {"shpSDRFrameFocusColour", "cmdSDRFrameFocusColour", "Focused", "Frame Colours", 4},
    {"shpNormalScrollLabelColour", "cmdNormalScrollLabelColour", "Normal", "Scroll Labels", 5},
    {"shpFocusScrollLabelColour", "cmdFocusScrollLabelColour", "Focused", "Scroll Labels", 6},
    {"shpScopeBackColour", "cmdScopeColour", "Scope", "Scope Colours", 8},
    {"shpScopeGraticuleColour", "cmdScopeGraticule", "Graticule", "Scope Colours", 9},
    {"shpScopeY1Colour", "cmdScopeY1Colour", "Y1", "Trace Colours", 10},
    {"shpScopeY2Colour", "cmdScopeY2Colour", "Y2", "Trace Colours", 11},
    {"shpScopeFilterCurveColour", "cmdScopeFilterCurveColour", "Filtr Curv", "Trace Colours", 12},
    {"shpScopeNotchFilterColour", "cmdScopeNotchFilterColour", "Notch Filtr", "Trace Colours", 13},
    {"shpScopeXTextColour", "cmdScopeXTextColour", "X-Text", "Scope Colours", 14},
    {"shpScopeYTextColour", "cmdScopeYTextColour", "Y-Text", "Scope Colours", 15},
    {"shpControlNormalColour", "cmdScopeControlNormalColour", "Normal", "Control Colours", -1},
    {"shpControlFocusedColour", "cmdScopeControlFocusedColour", "Focused", "Control Colours", -1},
};

} // namespace

const SwatchInfo& swatchInfo(int swatch)
{
    return Swatches[swatch >= 0 && swatch < SwatchCount ? swatch : 0];
}

std::optional<double> ConfigNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        const QString digits = trimmed.mid(2);
        if (digits.isEmpty() || digits.size() > 8)
            return std::nullopt;
        bool ok = false;
        const uint32_t value = digits.toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        // Eight digits read as the 32-bit signed value they spell.
        return static_cast<double>(static_cast<int32_t>(value));
    }
    const std::optional<double> value = ParseNumber(trimmed.toStdString());
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

std::vector<SerialDevice> SerialPortList(const ConfigSystemValues& system)
{
    std::vector<SerialDevice> list = system.SerialDevices;
    // A port number below 1 names no device: nothing to show.
    const SerialDevice& inForce = system.SerialDeviceInForce;
    if (SerialPortIndex(list, {system.PortNo, system.SerialDevicePath}) < 0 && !inForce.path.isEmpty())
        list.insert(list.begin(), inForce);
    return list;
}

int SerialPortIndex(const std::vector<SerialDevice>& list, const SerialPortChoice& choice)
{
    for (size_t i = 0; i < list.size(); ++i) {
        const SerialDevice& d = list[i];
        const bool same = choice.DevicePath.isEmpty() ? d.portNumber > 0 && d.portNumber == choice.PortNo
                                                      : d.path == choice.DevicePath;
        if (same)
            return static_cast<int>(i);
    }
    return -1;
}

SerialPortChoice SerialPortChoiceOf(const SerialDevice& device, const SerialPortChoice& inForce)
{
    // A device path naming a ttyS node shows as its COM entry; left selected, it must not
    // turn into that COM number.
    if (SerialPortIndex({device}, inForce) == 0)
        return inForce;
    if (device.portNumber > 0)
        return {device.portNumber, QString()};
    return {inForce.PortNo, device.path};
}

QString HexAddressText(int32_t address)
{
    return QStringLiteral("&H") + QString::number(static_cast<uint32_t>(address), 16).toUpper();
}

QString FrequencyText(double hertz)
{
    return QString::fromStdString(Format(hertz, "#0 000 000"));
}

QString BitPeriodText(double seconds)
{
    return QString::fromStdString(Format(seconds, "0.000000000"));
}

} // namespace orvik
