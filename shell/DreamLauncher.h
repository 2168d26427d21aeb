#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace orvik {

// The decoder options, kept by the main window under the "DRM." keys.
struct DreamOptions {
    bool RunDreamOnDRM = false;
    QString PathToDream;
    QString DreamProgArgs;
    int32_t DreamWindowStyle = 1;
    bool MuteAFOnDRM = false;
    bool CloseSoundcardOnDRM = false;
    bool DreamCloseOnExit = true;
    bool DreamCloseOnModeChange = false;
};

// The decoder's number for one of our device numbers: 2 less, never below 0.
int32_t DreamDeviceNumber(int32_t device);
// " -M 0 -I <in> -O <out>", the device numbers less 2, never below 0.
QString DreamDeviceArgs(int32_t captureDevice, int32_t playbackDevice);
// The operator's template with every "%CurFreq%", in any letter case, replaced by the
// tuned frequency in whole kilohertz, truncated.
QString DreamUserArgs(const QString& templateArgs, double tunedTenthsHz);
// The whole command line as one text (for the log): path, device part, two blanks, user part.
QString DreamCommandLine(const QString& path, const QString& deviceArgs, const QString& userArgs);
// The start arguments as separate words (no shell, so a path or argument with blanks works).
QStringList DreamArguments(int32_t captureDevice, int32_t playbackDevice, const QString& userArgs);
// Show state code of a window style: 0 -> 4, 1 -> 6, 2 -> 0, other -> 1.
int DreamShowState(int32_t windowStyle);
// The characters before the first NUL.
QString TrimAtNull(const QString& text);

// Takes down, before anything changes them, the operator's values of the variables this
// program later sets in its own environment for itself (JACK_NO_START_SERVER, at the sound
// library's start): a program it starts gets them as the operator had them. Called first in
// main; until then a started program gets this process's environment as it is.
void recordOperatorEnvironment();

// Starts the external DRM decoder, finds out whether one runs, and asks the one we
// started to close. Only the process we started is ever signalled, and only while
// that process id still belongs to it.
class DreamLauncher {
public:
    struct Environment {
        std::function<int32_t()> captureDevice;
        std::function<int32_t()> playbackDevice;
        std::function<double()> tunedFrequency; // tenths of a hertz
        std::function<bool()> hiSideLO;
        QString programFolder;
        std::function<bool(const QString& section, const QString& key, const QString& value, const QString& file)>
            writeIni;
        QString procRoot = QStringLiteral("/proc");
    };

    explicit DreamLauncher(Environment environment) : env_(std::move(environment)) {}

    DreamOptions options;
    bool StartingDream = false;
    double DreamShellResult = 0;
    qint64 DreamTaskID = 0;
    std::vector<qint64> DecoderWindows; // here: the decoder processes still alive

    void RunDREAM();
    // 1 when a process with this executable name runs (case-blind; names are compared on
    // their first 15 characters, as the kernel keeps them; one that has ended and is not
    // reaped yet does not count), 0 when none, -1 when the process list cannot be read.
    int IsProcessRunning(const QString& name) const;
    // Collects the decoder we started, if it still runs.
    int EnumAllWindows();
    void CloseListedWindows();

    // Start time of a process (clock ticks since boot), 0 when it does not exist.
    quint64 processStartTime(qint64 pid) const;

private:
    bool decoderRunning() const;
    // The decoder CloseListedWindows last asked to close has not ended yet.
    bool closingDecoderRunning() const;
    // IsProcessRunning for the decoder's usual name or the path's.
    int decoderProcessRunning() const;

    Environment env_;
    quint64 startTime_ = 0;
    qint64 closingPid_ = 0;
    quint64 closingStartTime_ = 0;
};

} // namespace orvik
