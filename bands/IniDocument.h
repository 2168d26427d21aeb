#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

namespace orvik {

// One private-profile text file held in memory, kept line by line as raw bytes
// so that rewriting a key leaves every other line exactly as it was.
//
// Reading rules: section and key names match without regard to case; keys and
// values lose their surrounding blanks; a value enclosed in double quotes loses
// the quotes; only lines whose first non-blank character is ';' are comments
// ('#' is text: descriptions hold "SubBand #1"); the first matching section and
// the first matching key in it win. Lines end in CR LF, LF or CR; a line that is
// not valid UTF-8 is read as Windows-1252.
//
// Writing rules: a key is replaced in place; a new key goes after the last key
// line of its section; a new section goes at the end of the file. Lines are
// written as UTF-8 with the file's own line end (CR LF for a new file).
class IniDocument {
public:
    IniDocument() = default;
    static IniDocument fromBytes(const QByteArray& bytes);
    QByteArray toBytes() const;

    std::optional<QString> value(const QString& section, const QString& key) const;

    // False, and the document unchanged, when the section or key name cannot be
    // written without changing the meaning of the file: an empty key, a key
    // holding '=' or a line break or starting with ';' or '[', a section name
    // holding ']' or a line break. Line breaks in the value become blanks.
    bool setValue(const QString& section, const QString& key, const QString& value);

    static bool isWritableKey(const QString& key);
    static bool isWritableSection(const QString& section);

private:
    struct Line {
        QByteArray raw; // without its line end
        QByteArray eol; // "\r\n", "\n", "\r" or empty for an unterminated last line
    };
    struct Section {
        std::vector<Line> lines; // lines[0] is the "[name]" header, except in the preamble
        QHash<QString, int> keys; // folded key -> line, first occurrence
        QHash<QString, QString> values;
        int lastKeyLine = 0;
    };

    static QString decodeLine(const QByteArray& raw);
    static bool parseKeyLine(const QString& text, QString& foldedKey, QString& value);
    static QString foldName(const QString& name);
    // Callers ask for the same few dozen names thousands of times per file.
    const QString& foldedQuery(const QString& name) const;
    void indexLine(Section& section, int lineIndex, const QString& text);
    QByteArray newLineEnd() const;
    void terminateLastLine();

    std::vector<Section> sections_; // sections_[0]: the lines before any section header
    QHash<QString, int> sectionIndex_;
    QByteArray lineEnd_ = "\r\n";
    mutable QHash<QString, QString> foldedQueries_;
};

} // namespace orvik
