#pragma once

#include "platform/DialogService.h"
#include "platform/MessageService.h"
#include "recorder/clsWavFile.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace orvik::testing {

inline constexpr int32_t kBlock = 2048;

// A recorder in a temporary program folder whose disk timer runs right after each block,
// with the dialogs and message boxes answered by test doubles.
struct WavRig {
    WavRig()
    {
        setMessageService(&messages);
        setDialogService(&dialogs);
        wav = std::make_unique<clsWavFile>(dir.path());
        wav->vfoFrequency = [this] { return vfo; };
        wav->now = [] { return QDateTime(QDate(2006, 1, 6), QTime(14, 5, 9)); };
        wav->events.WriteNextBlockToDisk = [this] { writePending = true; };
        wav->events.SamplesPlayed = [this](int32_t, int64_t n) { progress.push_back(n); };
        wav->events.CatalogueLoaded = [this](int32_t n) { catalogues.push_back(n); };
        wav->events.ReadNextBlockFromDisk = [this] { readPending = true; };
        wav->events.PlayEnd = [this] { ++playEnds; };
    }
    ~WavRig()
    {
        wav.reset();
        setMessageService(nullptr);
        setDialogService(nullptr);
    }

    // Appends samples block by block; the write timer's work follows each full half.
    void record(const std::vector<int16_t>& samples, int32_t block = kBlock)
    {
        for (size_t at = 0; at < samples.size(); at += static_cast<size_t>(block)) {
            const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), samples.size() - at));
            wav->AddSamples(samples.data() + at, n);
            runWriteTimer();
        }
    }
    void runWriteTimer()
    {
        if (writePending) {
            writePending = false;
            lastWrite = wav->WriteToDisk();
        }
    }
    // One output block of the player, with the read timer's work after it.
    std::vector<int16_t> playBlock()
    {
        std::vector<int16_t> out(kBlock, 12345);
        lastPlay = wav->GetNextSamples(out.data(), kBlock);
        if (readPending) {
            readPending = false;
            wav->ReadFromDisk();
        }
        return out;
    }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir dir;
    RecordingMessageService messages;
    ScriptedDialogService dialogs;
    std::unique_ptr<clsWavFile> wav;
    int32_t vfo = 70500000;
    bool writePending = false;
    bool readPending = false;
    int32_t lastWrite = 0;
    int32_t lastPlay = 0;
    int playEnds = 0;
    std::vector<int64_t> progress;
    std::vector<int32_t> catalogues;
};

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A synthetic signal that tells every sample apart: a slow ramp plus a tone.
inline std::vector<int16_t> ramp(size_t count, int seed = 0)
{
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = static_cast<int16_t>(static_cast<int>((i * 7 + static_cast<size_t>(seed)) % 50000) - 25000 +
                                    static_cast<int>(3000 * std::sin(0.01 * static_cast<double>(i))));
    return s;
}

// Runs an external tool; the output when it succeeded, else an empty text.
inline QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

inline bool haveTool(const char* name)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

} // namespace orvik::testing
