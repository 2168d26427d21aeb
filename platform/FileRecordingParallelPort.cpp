#include "platform/FileRecordingParallelPort.h"

#include "platform/PortRecordFile.h"

namespace orvik {

FileRecordingParallelPort::FileRecordingParallelPort(std::shared_ptr<PortRecordFile> file)
    : file_(std::move(file))
{
}

bool FileRecordingParallelPort::writeData(uint16_t address, uint8_t value)
{
    file_->writeLine(QStringLiteral("parallel 0x%1 0x%2")
                         .arg(address, 3, 16, QLatin1Char('0'))
                         .arg(value, 2, 16, QLatin1Char('0')));
    return true;
}

} // namespace orvik
