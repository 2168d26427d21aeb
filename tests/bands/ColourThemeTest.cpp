#include "bands/ColourTheme.h"
#include "bands/modIniFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvik;

namespace {

QString readAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeAll(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

ThemeColours distinctColours()
{
    ThemeColours colours;
    uint32_t colour = 0x010203;
    for (const QString& key : ColourThemeKeys()) {
        colours[key] = colour;
        colour += 0x111111;
    }
    colours[QStringLiteral("shpSDRBackGroundColour")] = 16776960; // cyan
    return colours;
}

} // namespace

TEST(ColourTheme, SavedThemeLoadsBackEverySwatchInKeyOrder)
{
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath("night.thm");
    const ThemeColours saved = distinctColours();
    ASSERT_TRUE(SaveColourTheme(file, saved));

    const QStringList lines = readAll(file).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines[0], "[SDRColours]");
    EXPECT_EQ(lines[1], "Name=night.thm");
    for (int i = 0; i < ColourThemeKeys().size(); ++i)
        EXPECT_EQ(lines[i + 2], ColourThemeKeys()[i] + "=" + QString::number(saved[ColourThemeKeys()[i]]));
    EXPECT_EQ(lines[2], "shpSDRBackGroundColour=16776960");

    ThemeColours loaded;
    for (const QString& key : ColourThemeKeys())
        loaded[key] = 0;
    loaded["shpControlNormalColour"] = 0x123456; // not part of a theme
    EXPECT_EQ(LoadColourTheme(file, loaded), 15);
    for (const QString& key : ColourThemeKeys())
        EXPECT_EQ(loaded[key], saved[key]) << key.toStdString();
    EXPECT_EQ(loaded["shpControlNormalColour"], 0x123456u);
}

TEST(ColourTheme, SavingIntoAnExistingFileKeepsItsOtherLines)
{
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath("day.thm");
    writeAll(file, "; my theme\r\n[Other]\r\nKeep=1\r\n[SDRColours]\r\nName=old\r\nshpScopeY1Colour=5\r\nNote=mine\r\n");
    ASSERT_TRUE(SaveColourTheme(file, distinctColours()));
    EXPECT_EQ(ReadIniString("Other", "Keep", "", file), "1");
    EXPECT_EQ(ReadIniString("SDRColours", "Note", "", file), "mine");
    EXPECT_EQ(ReadIniString("SDRColours", "Name", "", file), "day.thm");
    EXPECT_EQ(ReadIniString("SDRColours", "shpScopeY1Colour", "", file),
              QString::number(distinctColours()["shpScopeY1Colour"]));
    EXPECT_TRUE(readAll(file).startsWith("; my theme\r\n"));
}

TEST(ColourTheme, PartialMissingOrMalformedThemesKeepTheOtherSwatches)
{
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath("part.thm");
    writeAll(file, "[SDRColours]\n"
                   "shpScopeY1Colour=255\n"
                   "shpScopeY2Colour=-1\n"          // 32-bit signed text
                   "shpSDRLabelColour=&HFF\n"       // not decimal
                   "shpSDRTuningColour=12.5\n"      // not whole
                   "shpScopeBackColour=99999999999\n" // out of range
                   "shpSDRFrameFocusColour=\n");    // empty
    ThemeColours colours = distinctColours();
    const ThemeColours before = colours;
    EXPECT_EQ(LoadColourTheme(file, colours), 2);
    EXPECT_EQ(colours["shpScopeY1Colour"], 255u);
    EXPECT_EQ(colours["shpScopeY2Colour"], 0xFFFFFFFFu);
    for (const char* kept : {"shpSDRLabelColour", "shpSDRTuningColour", "shpScopeBackColour",
                             "shpSDRFrameFocusColour", "shpSDRBackGroundColour", "shpScopeYTextColour"})
        EXPECT_EQ(colours[kept], before[kept]) << kept;

    const QString other = QDir(dir.path()).filePath("other.thm");
    writeAll(other, "[Something]\nshpScopeY1Colour=7\n");
    colours = before;
    EXPECT_EQ(LoadColourTheme(other, colours), 0);
    EXPECT_EQ(colours, before);
    EXPECT_EQ(LoadColourTheme(QDir(dir.path()).filePath("missing.thm"), colours), 0);
    EXPECT_EQ(colours, before);
}
