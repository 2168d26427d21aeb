#include "bands/IniDocument.h"

#include <QStringDecoder>

namespace orvik {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QStringView trimBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

bool isEnclosedInQuotes(QStringView text)
{
    return text.size() >= 2 && text.front() == u'"' && text.back() == u'"';
}

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five undefined
// codes stay as their C1 control characters.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray& raw)
{
    QString text;
    text.reserve(raw.size());
    for (char byte : raw) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x80 && code <= 0x9F)
            text.append(QChar(kWindows1252High[code - 0x80]));
        else
            text.append(QChar(code));
    }
    return text;
}

// Quotes a value whose text would otherwise not read back unchanged.
QString encodeValue(const QString& value)
{
    QString clean;
    clean.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n')
            continue; // CR LF becomes a single blank at the LF
        clean.append(c == u'\r' || c == u'\n' ? QChar(u' ') : c);
    }
    if (trimBlanks(clean).size() != clean.size() || isEnclosedInQuotes(clean))
        return u'"' + clean + u'"';
    return clean;
}

} // namespace

QString IniDocument::decodeLine(const QByteArray& raw)
{
    bool ascii = true;
    for (char byte : raw) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(raw);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (utf8.hasError())
        return fromWindows1252(raw);
    return text;
}

QString IniDocument::foldName(const QString& name) { return name.toCaseFolded(); }

const QString& IniDocument::foldedQuery(const QString& name) const
{
    auto found = foldedQueries_.constFind(name);
    if (found == foldedQueries_.constEnd()) {
        if (foldedQueries_.size() > 4096)
            foldedQueries_.clear();
        found = foldedQueries_.insert(name, foldName(trimBlanks(name).toString()));
    }
    return found.value();
}

bool IniDocument::isWritableKey(const QString& key)
{
    const QStringView trimmed = trimBlanks(key);
    if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'['))
        return false;
    return !key.contains(u'=') && !key.contains(u'\r') && !key.contains(u'\n');
}

bool IniDocument::isWritableSection(const QString& section)
{
    return !section.contains(u']') && !section.contains(u'\r') && !section.contains(u'\n');
}

bool IniDocument::parseKeyLine(const QString& text, QString& foldedKey, QString& value)
{
    const QStringView line = trimBlanks(text);
    if (line.startsWith(u';'))
        return false;
    const qsizetype equals = line.indexOf(u'=');
    if (equals <= 0)
        return false;
    const QStringView key = trimBlanks(line.left(equals));
    if (key.isEmpty())
        return false;
    foldedKey = key.toString().toCaseFolded();
    QStringView rest = trimBlanks(line.mid(equals + 1));
    if (isEnclosedInQuotes(rest))
        rest = rest.mid(1, rest.size() - 2);
    value = rest.toString();
    return true;
}

void IniDocument::indexLine(Section& section, int lineIndex, const QString& text)
{
    QString key;
    QString value;
    if (!parseKeyLine(text, key, value))
        return;
    section.lastKeyLine = lineIndex;
    if (section.keys.contains(key))
        return;
    section.keys.insert(key, lineIndex);
    section.values.insert(key, value);
}

IniDocument IniDocument::fromBytes(const QByteArray& bytes)
{
    IniDocument document;
    document.sections_.emplace_back();
    bool lineEndKnown = false;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        Line line;
        line.raw = bytes.mid(start, end - start);
        if (end < size) {
            const bool crlf = bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n';
            line.eol = bytes.mid(end, crlf ? 2 : 1);
        }
        if (!lineEndKnown && !line.eol.isEmpty()) {
            document.lineEnd_ = line.eol;
            lineEndKnown = true;
        }
        start = end + line.eol.size();

        QString text = decodeLine(line.raw);
        if (document.sections_.size() == 1 && document.sections_[0].lines.empty() &&
            text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        const QStringView trimmed = trimBlanks(text);
        if (trimmed.startsWith(u'[')) {
            qsizetype close = trimmed.indexOf(u']');
            if (close < 0)
                close = trimmed.size();
            const QString name = foldName(trimBlanks(trimmed.mid(1, close - 1)).toString());
            Section section;
            section.lines.push_back(std::move(line));
            document.sections_.push_back(std::move(section));
            if (!document.sectionIndex_.contains(name))
                document.sectionIndex_.insert(name, static_cast<int>(document.sections_.size() - 1));
            continue;
        }
        Section& current = document.sections_.back();
        current.lines.push_back(std::move(line));
        document.indexLine(current, static_cast<int>(current.lines.size() - 1), text);
    }
    return document;
}

QByteArray IniDocument::toBytes() const
{
    QByteArray bytes;
    for (const Section& section : sections_)
        for (const Line& line : section.lines) {
            bytes += line.raw;
            bytes += line.eol;
        }
    return bytes;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const
{
    const auto found = sectionIndex_.constFind(foldedQuery(section));
    if (found == sectionIndex_.constEnd())
        return std::nullopt;
    const Section& s = sections_[static_cast<size_t>(found.value())];
    const auto value = s.values.constFind(foldedQuery(key));
    if (value == s.values.constEnd())
        return std::nullopt;
    return value.value();
}

QByteArray IniDocument::newLineEnd() const { return lineEnd_; }

void IniDocument::terminateLastLine()
{
    for (auto section = sections_.rbegin(); section != sections_.rend(); ++section) {
        if (section->lines.empty())
            continue;
        if (section->lines.back().eol.isEmpty())
            section->lines.back().eol = newLineEnd();
        return;
    }
}

bool IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    if (!isWritableKey(key) || !isWritableSection(section))
        return false;
    const QByteArray raw = (trimBlanks(key).toString() + u'=' + encodeValue(value)).toUtf8();
    // Keep in memory exactly what a fresh read of the written line gives.
    QString foldedKey;
    QString stored;
    if (!parseKeyLine(decodeLine(raw), foldedKey, stored))
        return false;

    const QString foldedSection = foldedQuery(section);
    auto found = sectionIndex_.constFind(foldedSection);
    if (found == sectionIndex_.constEnd()) {
        terminateLastLine();
        Section fresh;
        fresh.lines.push_back({(u'[' + section + u']').toUtf8(), newLineEnd()});
        fresh.lines.push_back({raw, newLineEnd()});
        fresh.lastKeyLine = 1;
        fresh.keys.insert(foldedKey, 1);
        fresh.values.insert(foldedKey, stored);
        sections_.push_back(std::move(fresh));
        sectionIndex_.insert(foldedSection, static_cast<int>(sections_.size() - 1));
        return true;
    }

    const auto sectionNumber = static_cast<size_t>(found.value());
    Section& s = sections_[sectionNumber];
    const auto existing = s.keys.constFind(foldedKey);
    if (existing != s.keys.constEnd()) {
        s.lines[static_cast<size_t>(existing.value())].raw = raw;
        s.values.insert(foldedKey, stored);
        return true;
    }
    // Lines after the last key line hold no keys, so inserting there moves no
    // indexed line.
    const int at = s.lastKeyLine + 1;
    Line& before = s.lines[static_cast<size_t>(at - 1)];
    if (before.eol.isEmpty())
        before.eol = newLineEnd();
    s.lines.insert(s.lines.begin() + at, Line{raw, newLineEnd()});
    s.lastKeyLine = at;
    s.keys.insert(foldedKey, at);
    s.values.insert(foldedKey, stored);
    return true;
}

} // namespace orvik
