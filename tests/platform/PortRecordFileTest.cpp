#include "platform/MessageService.h"
#include "platform/PortRecordFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvik;

namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct ShownMessages {
    ShownMessages() { setMessageService(&service); }
    ~ShownMessages() { setMessageService(nullptr); }
    RecordingMessageService service;
};

} // namespace

TEST(PortRecordFile, AppendsWholeLinesToARegularFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("synth.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier\n");
    }
    ShownMessages shown;
    PortRecordFile file(path);
    ASSERT_TRUE(file.isOpen());
    file.writeLine("serial open /dev/ttyS0");
    // Written through: another process reads the line before anything else happens.
    EXPECT_EQ(contents(path), "earlier\nserial open /dev/ttyS0\n");
    file.writeLine("parallel 0x378 0x04");
    EXPECT_EQ(contents(path), "earlier\nserial open /dev/ttyS0\nparallel 0x378 0x04\n");
    EXPECT_TRUE(shown.service.shown().empty());
}

// A FIFO without a reader held up the start for ever; with a reader that stopped, every
// write waited, and a reader that left ended the program with SIGPIPE.
TEST(PortRecordFile, RefusesAnythingButARegularFileWithAMessageAndWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString readFifo = dir.filePath("read-fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(readFifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(readFifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    for (const QString& path : {fifo, readFifo, dir.filePath("folder")}) {
        ShownMessages shown;
        PortRecordFile file(path);
        EXPECT_FALSE(file.isOpen()) << path.toStdString();
        file.writeLine("serial open /dev/ttyS0");
        ASSERT_EQ(shown.service.shown().size(), 1u) << path.toStdString();
        const QString text = shown.service.shown()[0].text;
        EXPECT_TRUE(text.contains(path)) << text.toStdString();
        EXPECT_TRUE(text.contains(path == fifo || path == readFifo ? "not a regular file" : "directory"))
            << text.toStdString();
    }
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "nothing reached the reader";
    ::close(reader);
}
