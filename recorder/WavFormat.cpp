#include "recorder/WavFormat.h"

#include <algorithm>
#include <cstring>

namespace orvik::wav {

void putLE32(QByteArray& bytes, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void putLE16(QByteArray& bytes, int offset, uint16_t value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

void putText(QByteArray& bytes, int offset, const char* text, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[offset + i] = text[i];
}

uint32_t getLE32(const QByteArray& bytes, int offset)
{
    if (offset < 0 || offset + 4 > bytes.size())
        return 0;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
    return value;
}

uint16_t getLE16(const QByteArray& bytes, int offset)
{
    if (offset < 0 || offset + 2 > bytes.size())
        return 0;
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) | (static_cast<uint8_t>(bytes[offset + 1]) << 8));
}

QByteArray BuildWavHeader(const HeaderFields& f)
{
    QByteArray h(kHeaderBytes, '\0');
    const int bytesPerFrame = f.channels * f.bitsPerSample / 8;
    putText(h, 0, "RIFF", 4);
    putLE32(h, 4, static_cast<uint32_t>(f.fileLength - 8));
    putText(h, 8, "WAVE", 4);
    putText(h, 12, "fmt ", 4);
    putLE32(h, 16, 16);
    putLE16(h, 20, 1);
    putLE16(h, 22, static_cast<uint16_t>(f.channels));
    putLE32(h, 24, static_cast<uint32_t>(f.rate));
    putLE32(h, 28, static_cast<uint32_t>(f.rate * bytesPerFrame));
    putLE16(h, 32, static_cast<uint16_t>(bytesPerFrame));
    putLE16(h, 34, static_cast<uint16_t>(f.bitsPerSample));
    putText(h, 36, "data", 4);
    putLE32(h, 40, static_cast<uint32_t>(f.dataBytes));
    return h;
}

namespace {

constexpr int kExtensibleFormat = 0xFFFE;

bool tagAt(const QByteArray& bytes, int offset, const char* tag)
{
    return offset >= 0 && offset + 4 <= bytes.size() && std::memcmp(bytes.constData() + offset, tag, 4) == 0;
}

} // namespace

ParsedHeader ParseWavHeader(const QByteArray& head, int64_t fileLength)
{
    ParsedHeader p;
    bool haveFormat = false;
    if (tagAt(head, 0, "RIFF") && tagAt(head, 8, "WAVE")) {
        int64_t offset = 12;
        while (offset + 8 <= head.size()) {
            const int at = static_cast<int>(offset);
            const int64_t size = getLE32(head, at + 4);
            if (tagAt(head, at, "fmt ") && size >= 16) {
                p.formatTag = getLE16(head, at + 8);
                if (p.formatTag == kExtensibleFormat && size >= 40)
                    p.formatTag = getLE16(head, at + 8 + 24);
                p.channels = getLE16(head, at + 10);
                p.rate = static_cast<int32_t>(std::min<uint32_t>(getLE32(head, at + 12), INT32_MAX));
                p.bitsPerSample = getLE16(head, at + 22);
                haveFormat = true;
            } else if (tagAt(head, at, "data")) {
                p.dataOffset = offset + 8;
                p.dataBytes = size;
                p.valid = haveFormat;
                break;
            }
            offset += 8 + size + (size & 1);
        }
    }
    if (!p.valid) {
        // Not a chunk list we can follow: the canonical layout, as older readers took it.
        if (head.size() < kHeaderBytes)
            return ParsedHeader{};
        p.formatTag = getLE16(head, 20);
        p.channels = getLE16(head, 22);
        p.rate = static_cast<int32_t>(std::min<uint32_t>(getLE32(head, 24), INT32_MAX));
        p.bitsPerSample = getLE16(head, 34);
        p.dataOffset = kHeaderBytes;
        p.dataBytes = getLE32(head, 40);
        p.valid = true;
    }
    p.dataBytes = std::clamp<int64_t>(p.dataBytes, 0, std::max<int64_t>(0, fileLength - p.dataOffset));
    p.trackLogPosition = p.dataOffset + p.dataBytes + 1;
    if (p.trackLogPosition >= fileLength)
        p.trackLogPosition = 0;
    return p;
}

QString formatWhen(const QDateTime& when)
{
    // An unknown date is written as the zero of the day count rather than as nothing,
    // so the record keeps its length.
    const QDateTime shown = when.isValid() ? when : QDateTime(QDate(1899, 12, 30), QTime(0, 0));
    return shown.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QByteArray FormatLogRecord(const TrackLogArray& TrackLog)
{
    QByteArray text;
    const char sep = kFieldSeparator;
    for (size_t i = 0; i + 1 < TrackLog.size(); ++i) {
        const LogRecord& r = TrackLog[i];
        if (r.Frequency <= 0)
            continue;
        text += "F=" + QByteArray::number(r.Frequency).rightJustified(10, '0') + sep;
        text += "T=" + formatWhen(r.When).toLatin1() + sep;
        text += "S=" + QByteArray::number(static_cast<qlonglong>(r.StartOffset)).rightJustified(10, '0') + sep;
        text += "E=" + QByteArray::number(static_cast<qlonglong>(r.EndOffset)).rightJustified(10, '0') + sep;
        text += '\0';
    }
    QByteArray wide(text.size() * 2, '\0');
    for (int i = 0; i < text.size(); ++i)
        wide[2 * i] = text[i];
    return wide;
}

namespace {

void applyField(LogRecord& record, const QByteArray& field)
{
    const int eq = field.indexOf('=');
    if (eq < 0)
        return;
    const QByteArray key = field.left(eq);
    const QByteArray value = field.mid(eq + 1);
    bool ok = false;
    if (key == "F") {
        const int number = value.toInt(&ok);
        record.Frequency = ok ? number : 0;
    } else if (key == "T") {
        const QDateTime when =
            QDateTime::fromString(QString::fromLatin1(value), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        record.When = when.isValid() ? when : QDateTime();
    } else if (key == "S" || key == "E") {
        const qlonglong number = value.toLongLong(&ok);
        (key == "S" ? record.StartOffset : record.EndOffset) = ok ? number : 0;
    }
}

} // namespace

int ParseLogRecord(TrackLogArray& TrackLog, const QByteArray& wide)
{
    QByteArray text;
    const int64_t limit = std::min<int64_t>(wide.size(), kMaxTrailerBytes);
    text.reserve(static_cast<int>((limit + 1) / 2));
    for (int64_t i = 0; i < limit; i += 2)
        text += wide[static_cast<int>(i)];

    TrackLog.assign(1, LogRecord{});
    int count = 0;
    int start = 0;
    while (count < kMaxRecords) {
        const int end = text.indexOf('\0', start);
        if (end < 0)
            break; // an unterminated last record is not a track
        LogRecord record;
        for (const QByteArray& field : text.mid(start, end - start).split(kFieldSeparator))
            applyField(record, field);
        TrackLog.back() = record;
        TrackLog.emplace_back();
        ++count;
        start = end + 1;
    }
    return count;
}

} // namespace orvik::wav
