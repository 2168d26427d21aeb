#pragma once

#include "recorder/LogRecord.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orvik::wav {

constexpr int kHeaderBytes = 44;
constexpr char kMarker[] = "ORVIK";
constexpr int kMarkerBytes = 5;
constexpr int kRecordChars = 62;              // one rendered track record
constexpr int kMaxRecords = 32767;
constexpr int64_t kMaxTrailerBytes = kMarkerBytes + int64_t{kMaxRecords} * kRecordChars * 2;
constexpr char kFieldSeparator = '\x04';

void putLE32(QByteArray& bytes, int offset, uint32_t value);
void putLE16(QByteArray& bytes, int offset, uint16_t value);
void putText(QByteArray& bytes, int offset, const char* text, int count);
uint32_t getLE32(const QByteArray& bytes, int offset);
uint16_t getLE16(const QByteArray& bytes, int offset);

struct HeaderFields {
    int32_t rate = 0;
    int16_t channels = 1;
    int16_t bitsPerSample = 16;
    int64_t dataBytes = 0;    // audio bytes behind the header
    int64_t fileLength = 44;  // the file's length when the header is built
};

// The canonical 44-byte PCM header; the RIFF size is fileLength - 8.
QByteArray BuildWavHeader(const HeaderFields& fields);

// What the player takes from a file's head.
struct ParsedHeader {
    bool valid = false;       // a "data" chunk was found
    int32_t rate = 0;
    int formatTag = 1;        // 1 PCM, 3 floating point; the sub-format of an extensible header
    int channels = 1;
    int bitsPerSample = 16;
    int64_t dataOffset = 44;  // offset (from 0) of the first audio byte
    int64_t dataBytes = 0;    // clamped to what the file holds
    int64_t trackLogPosition = 0; // counted from 1; 0 when nothing follows the audio
};

// Walks the RIFF chunks for "fmt " and "data" in the file's first bytes; a file without a
// recognisable chunk list is read at the canonical offsets. `head` may be shorter than the file.
ParsedHeader ParseWavHeader(const QByteArray& head, int64_t fileLength);

// The track text of records 0 .. size-2 (the spare is never written), two bytes per character.
// Records whose Frequency is not above 0 are left out.
QByteArray FormatLogRecord(const TrackLogArray& TrackLog);

// Fills TrackLog from the bytes behind the marker (the marker itself excluded) and returns the
// number of tracks. Records without their closing NUL are dropped, bad fields stay 0.
int ParseLogRecord(TrackLogArray& TrackLog, const QByteArray& text);

QString formatWhen(const QDateTime& when);

} // namespace orvik::wav
