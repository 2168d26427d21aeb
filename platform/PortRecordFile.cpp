#include "platform/PortRecordFile.h"

#include "platform/Log.h"

#include <QFile>

namespace orvik {

PortRecordFile::PortRecordFile(const QString& path)
    : path_(path)
{
    file_ = std::fopen(QFile::encodeName(path).constData(), "a");
    if (!file_)
        AddLog(QStringLiteral("Cannot open the port record file ") + path);
}

PortRecordFile::~PortRecordFile()
{
    if (file_)
        std::fclose(file_);
}

void PortRecordFile::writeLine(const QString& line)
{
    if (!file_)
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), file_);
    std::fflush(file_);
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
