// Any bytes as a WAV file: opening, reading the track log and playing to the end must not
// crash, hang or leak, and what is read must keep the track log's shape.
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "recorder/WavFormat.h"
#include "recorder/clsWavFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace orvik;

namespace {

QString workFolder()
{
    static QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/wavreader_fuzz-XXXXXX")
                                                       : QDir::tempPath() + QStringLiteral("/wavreader_fuzz-XXXXXX"));
    return dir.path();
}

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "wavreader_fuzz: %s\n", why);
    std::abort();
}

class SilentMessages : public MessageService {
public:
    MessageAnswer show(const QString&, const QString&, MessageButtons buttons, MessageIcon) override
    {
        return firstAnswer(buttons);
    }
};

void checkShape(const TrackLogArray& log, int tracks)
{
    if (tracks < 0 || tracks > wav::kMaxRecords || log.size() != static_cast<size_t>(tracks) + 1)
        fail("the track log does not hold the tracks plus one spare");
    if (!(log.back() == LogRecord{}))
        fail("the spare element is not zero-filled");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SilentMessages silent;
    static const bool quiet = [] {
        setLogSink([](const QString&) {});
        setMessageService(&silent);
        return true;
    }();
    (void)quiet;

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    wav::ParseWavHeader(bytes, static_cast<int64_t>(size));
    TrackLogArray direct;
    checkShape(direct, wav::ParseLogRecord(direct, bytes));

    const QString file = workFolder() + QStringLiteral("/fuzz.wav");
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail("cannot write the input file");
        out.write(bytes);
    }
    clsWavFile wav(workFolder());
    bool ended = false;
    wav.events.PlayEnd = [&] { ended = true; };
    wav.FileName = file;
    if (wav.OpenFile() < 0)
        return 0;
    checkShape(wav.TrackLog, wav.NumberOfTracks());
    if (wav.Play() <= 0)
        fail("an opened file does not play");
    std::vector<int16_t> block(2048);
    // At 3000 samples per second or more a block takes 128 file samples or more, so a
    // 64 KiB input ends within 600 blocks.
    for (int i = 0; i < 4000 && !ended; ++i) {
        if (i == 3 && wav.NumberOfTracks() > 0)
            wav.PlayFrom(static_cast<int32_t>(size % static_cast<size_t>(wav.NumberOfTracks())));
        wav.GetNextSamples(block.data(), 2048);
        wav.ReadFromDisk();
    }
    if (!ended && size <= 65536 && wav.WavSamplingRate() >= 3000)
        fail("playback did not reach the end");
    return 0;
}
