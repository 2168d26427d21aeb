#include "platform/clsComDlg.h"

#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

namespace orvik {

namespace {
constexpr uint32_t kWhite = 0xFFFFFF;

QString colourKey(int i)
{
    return QStringLiteral("CustomColour(%1)").arg(i);
}
} // namespace

clsComDlg::clsComDlg()
{
    flags_ |= kCreationFlags;
    colours_.fill(kWhite);
}

void clsComDlg::readColours(SettingsStore& store)
{
    store_ = &store;
    for (int i = 0; i < 16; ++i) {
        auto& colour = colours_[static_cast<size_t>(i)];
        const QString text = store.read(Name, colourKey(i), QString::number(colour));
        bool ok = false;
        const qlonglong value = text.trimmed().toLongLong(&ok);
        if (ok && value >= INT32_MIN && value <= UINT32_MAX)
            colour = static_cast<uint32_t>(value);
        else
            AddLog(QStringLiteral("ComDlg: stored %1 \"%2\" is not a colour; white used").arg(colourKey(i), logValue(text)));
    }
}

void clsComDlg::saveColours()
{
    if (!store_)
        return;
    for (int i = 0; i < 16; ++i)
        store_->write(Name, colourKey(i), QString::number(colours_[static_cast<size_t>(i)]));
}

void clsComDlg::setAllowMultiSelect(bool vFlag)
{
    flags_ = vFlag ? flags_ | kAllowMultiSelect : flags_ & ~kAllowMultiSelect;
}

void clsComDlg::setRestoreCurDir(bool vFlag)
{
    flags_ = vFlag ? flags_ | kNoChangeDir : flags_ & ~kNoChangeDir;
}

void clsComDlg::setReadOnlyIsVisible(bool vFlag)
{
    flags_ = vFlag ? flags_ & ~kHideReadOnly : flags_ | kHideReadOnly;
}

void clsComDlg::setReadOnly(bool vFlag)
{
    flags_ = vFlag ? flags_ | kReadOnly : flags_ & ~kReadOnly;
}

void clsComDlg::setExtension(const QString& vDefExt)
{
    // Callers pass patterns such as "*.wav": the text after the last dot, without wildcards.
    QString ext = vDefExt.mid(vDefExt.lastIndexOf(QLatin1Char('.')) + 1);
    ext.remove(QLatin1Char('*'));
    ext.remove(QLatin1Char('?'));
    defaultExtension_ = ext.left(3).toLower();
}

void clsComDlg::setFileName(const QString& vFileName)
{
    if (vFileName.size() <= kMaxFileName)
        initialFileName_ = vFileName;
}

QString clsComDlg::Filter() const
{
    const int i = 2 * (filterIndex_ - 1);
    if (filterIndex_ == 0 || i < 0 || i + 1 >= filter_.size())
        return {};
    return filter_[i] + QLatin1Char('|') + filter_[i + 1];
}

void clsComDlg::setFilter(const QString& vFilter)
{
    filter_ = vFilter.split(QLatin1Char('|'));
}

bool clsComDlg::ShowOpen()
{
    return ShowFileDialog(false);
}

bool clsComDlg::ShowSave()
{
    flags_ &= ~kAllowMultiSelect;
    flags_ |= kPathMustExist | kOverwritePrompt;
    return ShowFileDialog(true);
}

bool clsComDlg::ShowFileDialog(bool save)
{
    if (flags_ & kReadOnly)
        flags_ &= ~kHideReadOnly;

    FileDialogOptions request;
    request.save = save;
    request.title = title_;
    request.directory = initialDirectory_;
    request.fileName = initialFileName_;
    for (int i = 0; i + 1 < filter_.size(); i += 2) {
        QString pattern = filter_[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        request.nameFilters << (filter_[i].contains(QLatin1Char('(')) ? filter_[i] : filter_[i] + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    request.selectedFilter = std::max(0, filterIndex_ - 1);
    request.defaultSuffix = defaultExtension_;
    request.multiSelect = (flags_ & kAllowMultiSelect) != 0;
    request.fileMustExist = (flags_ & kFileMustExist) != 0;
    request.confirmOverwrite = save && (flags_ & kOverwritePrompt);
    const bool pathMustExist = (flags_ & kPathMustExist) != 0;
    const bool createPrompt = (flags_ & kCreatePrompt) != 0;
    // These two belong to the dialog they were asked for; later callers start without them.
    flags_ &= ~(kFileMustExist | kCreatePrompt);

    FileDialogAnswer answer = dialogs().fileDialog(request);
    if (answer.accepted && !answer.files.isEmpty()) {
        const QString& first = answer.files.front();
        if (pathMustExist && !QFileInfo(QFileInfo(first).absolutePath()).isDir()) {
            messages().show(first + QStringLiteral("\r\nThe folder does not exist."), title_, MessageButtons::Ok,
                            MessageIcon::Warning);
            answer.accepted = false;
        } else if (createPrompt && answer.files.size() == 1 && !QFileInfo::exists(first) &&
                   messages().show(first + QStringLiteral("\r\nThis file does not exist.\r\nDo you want to create it?"),
                                   title_, MessageButtons::YesNo, MessageIcon::Question) != MessageAnswer::Yes) {
            answer.accepted = false;
        }
    }
    if (!answer.accepted || answer.files.isEmpty()) {
        fileName_.clear();
        return false;
    }
    filterIndex_ = answer.selectedFilter + 1;
    const QFileInfo info(answer.files.front());
    directory_ = info.absolutePath();
    if (answer.files.size() == 1) {
        fileName_ = info.absoluteFilePath();
        fileTitle_ = info.fileName();
        if (!fileTitle_.endsWith(QLatin1Char('.')))
            extension_ = fileTitle_.contains(QLatin1Char('.')) ? info.suffix() : QString();
        fileTitles_ << fileTitle_;
        fileNames_ << fileName_;
    } else {
        fileTitle_.clear();
        for (const QString& path : answer.files) {
            const QFileInfo one(path);
            fileTitles_ << one.fileName();
            fileNames_ << one.absoluteFilePath();
        }
        fileName_.clear();
    }
    return true;
}

int64_t clsComDlg::SelectColour(uint32_t DefColor, bool)
{
    // The colour dialog has no collapsed form here, so ShowExpDlg changes nothing.
    return dialogs().colourDialog(DefColor, colours_);
}

clsComDlg& ComDlg()
{
    static clsComDlg shared;
    return shared;
}

} // namespace orvik
