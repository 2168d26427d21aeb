#pragma once

#include "platform/DialogService.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace orvik {

class SettingsStore;

// The file-open, file-save and colour dialogs behind one object with properties. Writing a
// property sets the next dialog's input; reading FileName, Directory and Extension gives what
// the last dialog returned. One shared instance serves every caller (ComDlg()).
class clsComDlg {
public:
    static constexpr uint32_t kReadOnly = 0x1;
    static constexpr uint32_t kOverwritePrompt = 0x2;
    static constexpr uint32_t kHideReadOnly = 0x4;
    static constexpr uint32_t kNoChangeDir = 0x8;
    static constexpr uint32_t kAllowMultiSelect = 0x200;
    static constexpr uint32_t kPathMustExist = 0x800;
    static constexpr uint32_t kFileMustExist = 0x1000;
    static constexpr uint32_t kCreatePrompt = 0x2000;
    static constexpr uint32_t kCreationFlags = 0x280004;
    static constexpr int kMaxFileName = 260;

    clsComDlg();

    // Reads the custom colours from the store (section Name), keeping white where an entry is
    // missing or not a number; the store is kept for saveColours.
    void readColours(SettingsStore& store);
    void saveColours();

    QString Name = QStringLiteral("ComDlg");

    void setAllowMultiSelect(bool vFlag);
    void setDialogTitle(const QString& vCaption) { title_ = vCaption; }
    void setExistFlags(uint32_t vFlags) { flags_ |= vFlags; }
    QString Directory() const { return directory_; }
    void setDirectory(const QString& vInitDir) { initialDirectory_ = vInitDir; }
    QString Extension() const { return extension_; }
    void setExtension(const QString& vDefExt);
    QString FileName() const { return fileName_; }
    void setFileName(const QString& vFileName);
    const QStringList& FileNames() const { return fileNames_; }
    QString FileTitle() const { return fileTitle_; }
    const QStringList& FileTitles() const { return fileTitles_; }
    void setRestoreCurDir(bool vFlag);
    QString Filter() const;
    void setFilter(const QString& vFilter);
    int32_t FilterIndex() const { return filterIndex_; }
    void setFilterIndex(int32_t vIndex) { filterIndex_ = vIndex; }
    void setReadOnlyIsVisible(bool vFlag);
    bool ReadOnly() const { return (flags_ & kReadOnly) != 0; }
    void setReadOnly(bool vFlag);

    bool ShowOpen();
    bool ShowSave();
    // The chosen colour (red in the low byte), or -1 when cancelled.
    int64_t SelectColour(uint32_t DefColor, bool ShowExpDlg);

    uint32_t flags() const { return flags_; }
    QString defaultExtension() const { return defaultExtension_; }
    QString initialFileName() const { return initialFileName_; }
    const CustomColours& customColours() const { return colours_; }

private:
    bool ShowFileDialog(bool save);

    SettingsStore* store_ = nullptr;
    uint32_t flags_ = 0;
    QString title_;
    QString initialDirectory_;
    QString initialFileName_;
    QString defaultExtension_;
    QStringList filter_; // description, pattern, description, pattern ...
    int32_t filterIndex_ = 0;
    QString fileName_;
    QString fileTitle_;
    QString directory_;
    QString extension_;
    QStringList fileNames_;
    QStringList fileTitles_;
    CustomColours colours_{};
};

// The shared instance, made on first use.
clsComDlg& ComDlg();

} // namespace orvik
