#include "platform/FileRecordingModemLines.h"

#include "platform/PortRecordFile.h"

namespace orvik {

FileRecordingModemLines::FileRecordingModemLines(std::shared_ptr<PortRecordFile> file)
    : file_(std::move(file))
{
}

bool FileRecordingModemLines::open(const QString& devicePath)
{
    file_->writeLine(QStringLiteral("serial open ") + devicePath);
    open_ = true;
    return true;
}

void FileRecordingModemLines::close()
{
    if (open_)
        file_->writeLine(QStringLiteral("serial close"));
    open_ = false;
}

bool FileRecordingModemLines::line(const char* name, bool on)
{
    if (!open_)
        return false;
    file_->writeLine(QStringLiteral("serial %1 %2").arg(QLatin1String(name)).arg(on ? 1 : 0));
    return true;
}

std::optional<uint32_t> FileRecordingModemLines::modemStatus()
{
    if (!open_)
        return std::nullopt;
    return 0;
}

} // namespace orvik
