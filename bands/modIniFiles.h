#pragma once

#include "bands/IniDocument.h"

#include <QString>
#include <cstdint>

namespace orvik {

// Longest value a read returns: the private-profile buffer held 2048
// characters including the terminator.
inline constexpr qsizetype kIniValueLimit = 2047;

// Writes the key with its value under the section of the file, creating the
// file, section or key as needed. The file is replaced atomically. False when
// the key or section name is refused (see IniDocument::setValue) or the file
// cannot be read or written; the file is then left as it was.
bool WriteIniString(const QString& section, const QString& key, const QString& value,
                    const QString& file);

// The key's value, or the default when the file, section or key is missing or
// the file cannot be read; cut to 2047 characters. With field >= 1 only that
// comma-separated field (untrimmed), empty when there are fewer fields; a
// negative field gives the empty text.
QString ReadIniString(const QString& section, const QString& key, const QString& defaultValue,
                      const QString& file, int32_t field = 0);

// The same reading rules on a document already in memory.
QString ReadIniString(const IniDocument& document, const QString& section, const QString& key,
                      const QString& defaultValue, int32_t field = 0);

// The cut and field rules of ReadIniString applied to a text.
QString IniField(const QString& text, int32_t field);

struct IniFileContents {
    bool readable = false; // false: the file exists but could not be read
    bool exists = false;
    IniDocument document;
    QString error;
};

// Files above this size are refused rather than read into memory.
inline constexpr qint64 kIniFileSizeLimit = 16 * 1024 * 1024;

IniFileContents LoadIniFile(const QString& file);

// Replaces the file atomically (temporary file, flush to disk, rename). With
// keepBackup the previous file stays beside it as "<file>.bak". On failure the
// old file is untouched and error says why.
bool SaveIniFile(const QString& file, const QByteArray& bytes, bool keepBackup, QString* error);

} // namespace orvik
