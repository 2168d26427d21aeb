#include "bands/ColourTheme.h"

#include "bands/modIniFiles.h"
#include "common/Numeric.h"
#include "platform/Log.h"

#include <QFileInfo>

#include <cmath>

namespace orvik {

namespace {

const QString Section = QStringLiteral("SDRColours");

// A whole number in the signed 32-bit range, written in decimal.
std::optional<uint32_t> colourValue(const QString& text)
{
    const QString trimmed = text.trimmed();
    for (QChar c : trimmed)
        if (!c.isDigit() && c != QLatin1Char('-') && c != QLatin1Char('+'))
            return std::nullopt;
    const std::optional<double> value = ParseNumber(trimmed.toStdString());
    if (!value || *value != std::floor(*value) || *value < -2147483648.0 || *value > 2147483647.0)
        return std::nullopt;
    return static_cast<uint32_t>(static_cast<int32_t>(*value));
}

} // namespace

const QStringList& ColourThemeKeys()
{
    static const QStringList keys = {
        QStringLiteral("shpSDRBackGroundColour"),     QStringLiteral("shpSDRFrameFocusColour"),
        QStringLiteral("shpSDRFrameNormalColour"),    QStringLiteral("shpSDRLabelColour"),
        QStringLiteral("shpSDRTuningColour"),         QStringLiteral("shpNormalScrollLabelColour"),
        QStringLiteral("shpFocusScrollLabelColour"),  QStringLiteral("shpScopeBackColour"),
        QStringLiteral("shpScopeGraticuleColour"),    QStringLiteral("shpScopeY1Colour"),
        QStringLiteral("shpScopeY2Colour"),           QStringLiteral("shpScopeNotchFilterColour"),
        QStringLiteral("shpScopeFilterCurveColour"),  QStringLiteral("shpScopeXTextColour"),
        QStringLiteral("shpScopeYTextColour")};
    return keys;
}

bool SaveColourTheme(const QString& file, const ThemeColours& colours)
{
    IniFileContents contents = LoadIniFile(file);
    if (!contents.readable) {
        AddLog(QStringLiteral("Colour theme %1 not saved: %2").arg(file, contents.error));
        return false;
    }
    IniDocument& document = contents.document;
    document.setValue(Section, QStringLiteral("Name"), QFileInfo(file).fileName());
    for (const QString& key : ColourThemeKeys())
        document.setValue(Section, key, QString::number(static_cast<int32_t>(colours.value(key, 0))));
    QString error;
    if (!SaveIniFile(file, document.toBytes(), false, &error)) {
        AddLog(QStringLiteral("Colour theme %1 not saved: %2").arg(file, error));
        return false;
    }
    return true;
}

int LoadColourTheme(const QString& file, ThemeColours& colours)
{
    const IniFileContents contents = LoadIniFile(file);
    if (!contents.readable) {
        AddLog(QStringLiteral("Colour theme %1 not read: %2").arg(file, contents.error));
        return 0;
    }
    int read = 0;
    for (const QString& key : ColourThemeKeys()) {
        const QString current = QString::number(static_cast<int32_t>(colours.value(key, 0)));
        const QString text = ReadIniString(contents.document, Section, key, current);
        const std::optional<uint32_t> colour = colourValue(text);
        if (!colour) {
            AddLog(QStringLiteral("Colour theme %1: %2=\"%3\" is not a colour, kept %4").arg(file, key, logValue(text), current));
            continue;
        }
        if (contents.document.value(Section, key))
            ++read;
        colours[key] = *colour;
    }
    return read;
}

} // namespace orvik
