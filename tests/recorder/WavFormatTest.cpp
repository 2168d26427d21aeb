#include "recorder/WavFormat.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::wav;

namespace {

QDateTime at(int h, int m, int s)
{
    return QDateTime(QDate(2006, 1, 6), QTime(h, m, s));
}

// Narrow text of wide track-log bytes, checking that every high byte is 0.
QByteArray narrow(const QByteArray& wide)
{
    QByteArray text;
    for (int i = 0; i < wide.size(); i += 2) {
        EXPECT_EQ(wide[i + 1], '\0') << "high byte at " << i + 1;
        text += wide[i];
    }
    return text;
}

QByteArray wideOf(const QByteArray& text)
{
    QByteArray wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

} // namespace

TEST(WavFormat, HeaderIsTheCanonicalLayout)
{
    const QByteArray h = BuildWavHeader({12000, 1, 16, 96000, 44 + 96000});
    ASSERT_EQ(h.size(), 44);
    EXPECT_EQ(h.left(4), "RIFF");
    EXPECT_EQ(getLE32(h, 4), 96036u);
    EXPECT_EQ(h.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(getLE32(h, 16), 16u);
    EXPECT_EQ(getLE16(h, 20), 1u);
    EXPECT_EQ(getLE16(h, 22), 1u);
    EXPECT_EQ(getLE32(h, 24), 12000u);
    EXPECT_EQ(getLE32(h, 28), 24000u);
    EXPECT_EQ(getLE16(h, 32), 2u);
    EXPECT_EQ(getLE16(h, 34), 16u);
    EXPECT_EQ(h.mid(36, 4), "data");
    EXPECT_EQ(getLE32(h, 40), 96000u);

    const QByteArray eight = BuildWavHeader({3000, 1, 8, 100, 144});
    EXPECT_EQ(getLE32(eight, 28), 3000u);
    EXPECT_EQ(getLE16(eight, 32), 1u);
    EXPECT_EQ(getLE16(eight, 34), 8u);
}

TEST(WavFormat, TrackTextIsSixtyTwoWideCharactersPerRecord)
{
    TrackLogArray log(3);
    log[0] = {at(14, 5, 9), 70500000, 44, 96045};
    log[1] = {at(23, 59, 58), 0, 96045, 96045}; // not above 0: left out
    log[2] = {at(1, 2, 3), 145000, 5, 6};       // the spare is never written
    const QByteArray wide = FormatLogRecord(log);
    ASSERT_EQ(wide.size(), 124);
    EXPECT_EQ(narrow(wide), QByteArray("F=0070500000\x04T=2006-01-06 14:05:09\x04S=0000000044\x04"
                                       "E=0000096045\x04", 61) + '\0');

    TrackLogArray afternoon(2);
    afternoon[0] = {at(15, 7, 0), 145000, 44, 45};
    EXPECT_TRUE(narrow(FormatLogRecord(afternoon)).contains("T=2006-01-06 15:07:00")) << "hours on a 24-hour clock";
    EXPECT_TRUE(FormatLogRecord(TrackLogArray(1)).isEmpty());
}

TEST(WavFormat, TrackTextReadsBackEqual)
{
    TrackLogArray log(3);
    log[0] = {at(14, 5, 9), 145000, 44, 480044};
    log[1] = {at(14, 5, 14), 2147483647, 480044, 960045};
    TrackLogArray back;
    ASSERT_EQ(ParseLogRecord(back, FormatLogRecord(log)), 2);
    EXPECT_EQ(back, log);
    EXPECT_EQ(back.back(), LogRecord{});
}

TEST(WavFormat, DamagedTrackTextIsReadAsFarAsItIsValid)
{
    struct Case {
        const char* what;
        QByteArray text;
        int tracks;
        LogRecord first;
    };
    const QByteArray sep("\x04", 1);
    const QByteArray nul("\0", 1);
    const Case table[] = {
        {"field without =", "F0070500000" + sep + "S=0000000044" + sep + nul, 1, {QDateTime(), 0, 44, 0}},
        {"unparsable number", "F=12x4" + sep + "E=99" + sep + nul, 1, {QDateTime(), 0, 0, 99}},
        {"unparsable date", "T=2006-13-45 99:00:00" + sep + "F=7" + sep + nul, 1, {QDateTime(), 7, 0, 0}},
        {"lower-case and unknown keys", "f=5" + sep + "X=1" + sep + "F=6" + sep + nul, 1, {QDateTime(), 6, 0, 0}},
        {"truncated last record", "F=1" + sep + nul + "F=2" + sep + "S=00", 1, {QDateTime(), 1, 0, 0}},
        {"no record end at all", "F=1" + sep + "S=5", 0, {}},
        {"value with a second =", "F=1=2" + sep + "S=3" + sep + nul, 1, {QDateTime(), 0, 3, 0}},
        {"empty", "", 0, {}},
    };
    for (const Case& c : table) {
        TrackLogArray log;
        EXPECT_EQ(ParseLogRecord(log, wideOf(c.text)), c.tracks) << c.what;
        ASSERT_EQ(log.size(), static_cast<size_t>(c.tracks + 1)) << c.what;
        if (c.tracks > 0) {
            EXPECT_EQ(log[0], c.first) << c.what;
        }
        EXPECT_EQ(log.back(), LogRecord{}) << c.what << ": the spare stays zero-filled";
    }
}

TEST(WavFormat, AtMost32767RecordsAreRead)
{
    QByteArray text;
    const QByteArray record = QByteArray("F=1\x04", 4) + '\0';
    for (int i = 0; i < kMaxRecords + 10; ++i)
        text += record;
    TrackLogArray log;
    EXPECT_EQ(ParseLogRecord(log, wideOf(text)), kMaxRecords);
    EXPECT_EQ(log.size(), static_cast<size_t>(kMaxRecords + 1));
}

namespace {

QByteArray chunk(const char* id, const QByteArray& body)
{
    QByteArray c(id, 4);
    QByteArray size(4, '\0');
    putLE32(size, 0, static_cast<uint32_t>(body.size()));
    c += size + body;
    if (body.size() % 2)
        c += '\0';
    return c;
}

QByteArray riff(const QByteArray& chunks)
{
    QByteArray head("RIFF\0\0\0\0WAVE", 12);
    putLE32(head, 4, static_cast<uint32_t>(4 + chunks.size()));
    return head + chunks;
}

QByteArray fmtBody(uint32_t rate, uint16_t bits, int size = 16)
{
    QByteArray b(size, '\0');
    putLE16(b, 0, size > 16 ? 0xFFFE : 1);
    putLE16(b, 2, 1);
    putLE32(b, 4, rate);
    putLE32(b, 8, rate * bits / 8);
    putLE16(b, 12, bits / 8);
    putLE16(b, 14, bits);
    return b;
}

} // namespace

TEST(WavFormat, ReaderFindsTheAudioInForeignLayouts)
{
    struct Case {
        const char* what;
        QByteArray file;
        int32_t rate;
        int bits;
        int64_t dataOffset;
        int64_t dataBytes;
        int64_t trackLogPosition;
    };
    QByteArray canonical = BuildWavHeader({24000, 1, 16, 8, 44 + 8}) + QByteArray(8, '\1') + "ORVIK";
    QByteArray huge = BuildWavHeader({48000, 1, 16, 0, 52}) + QByteArray(8, '\1');
    putLE32(huge, 40, 0xFFFFFF9Cu);
    QByteArray bare = BuildWavHeader({8000, 1, 8, 4, 48}) + QByteArray(4, '\1');
    QByteArray noRiff = canonical;
    noRiff.replace(0, 4, "JUNK");
    const Case table[] = {
        {"canonical with a trailer", canonical, 24000, 16, 44, 8, 53},
        {"list chunk and extensible format",
         riff(chunk("fmt ", fmtBody(96000, 24, 40)) + chunk("LIST", QByteArray(27, 'x')) +
              chunk("data", QByteArray(12, '\2'))),
         96000, 24, 12 + 48 + 8 + 28 + 8, 12, 0},
        {"data size beyond the file", huge, 48000, 16, 44, 8, 0},
        {"ends with its audio, 8-bit", bare, 8000, 8, 44, 4, 0},
        {"no RIFF tag: the fixed offsets", noRiff, 24000, 16, 44, 8, 53},
    };
    for (const Case& c : table) {
        const ParsedHeader p = ParseWavHeader(c.file, c.file.size());
        EXPECT_TRUE(p.valid) << c.what;
        EXPECT_EQ(p.rate, c.rate) << c.what;
        EXPECT_EQ(p.bitsPerSample, c.bits) << c.what;
        EXPECT_EQ(p.dataOffset, c.dataOffset) << c.what;
        EXPECT_EQ(p.dataBytes, c.dataBytes) << c.what;
        EXPECT_EQ(p.trackLogPosition, c.trackLogPosition) << c.what;
    }
    EXPECT_FALSE(ParseWavHeader(QByteArray(43, 'x'), 43).valid) << "shorter than a header";
}
