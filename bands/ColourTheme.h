#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace orvik {

// Swatch name -> colour (24-bit, red in the low byte).
using ThemeColours = QMap<QString, uint32_t>;

// The colour keys of a theme file, in the order they are written; each names the
// swatch it fills.
const QStringList& ColourThemeKeys();

// Writes "Name" (the file's own name) and every colour key into section "SDRColours"
// of the file, as signed decimal text, keeping every other line of the file. A colour
// missing from the map is written as 0. False, with the reason logged, when the file
// could not be read or written.
bool SaveColourTheme(const QString& file, const ThemeColours& colours);

// Sets each colour key of the file whose value is a decimal whole number; a missing
// key, section or file, or a value that is not a whole number, keeps the colour in
// the map (the latter is logged). Returns the number of colours read.
int LoadColourTheme(const QString& file, ThemeColours& colours);

} // namespace orvik
