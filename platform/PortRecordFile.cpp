#include "platform/PortRecordFile.h"

#include "common/Product.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/files/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvik {

PortRecordFile::PortRecordFile(const QString& path)
    : path_(path)
{
    std::string why;
    fd_ = openRegularFileForWriting(QFile::encodeName(path).toStdString(), false, true, why);
    if (fd_ < 0)
        messages().show(QStringLiteral("The port record file %1 cannot be used: %2.\nNothing the synthesizer is "
                                       "sent is recorded.")
                            .arg(path, QString::fromLocal8Bit(why)),
                        QString::fromLatin1(ProductName) + QStringLiteral(" - Port record file"), MessageButtons::Ok, MessageIcon::Warning);
}

PortRecordFile::~PortRecordFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void PortRecordFile::writeLine(const QString& line)
{
    if (fd_ < 0)
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    if (!writeAllTo(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) && !writeFailureReported_) {
        writeFailureReported_ = true;
        AddLog(QStringLiteral("Error:PortRecordFile:cannot write to %1: %2").arg(path_, qt_error_string(errno)));
    }
}

QString synthPortRecordPath()
{
    const QString value = qEnvironmentVariable("ORVIKSDR_SYNTH_PORT");
    const QString prefix = QStringLiteral("record:");
    if (!value.startsWith(prefix))
        return {};
    return value.mid(prefix.size());
}

} // namespace orvik
