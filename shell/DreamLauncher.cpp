#include "shell/DreamLauncher.h"
#include "common/Product.h"
#include "shell/ProcessPriority.h"

#include "dsp/ORVIK.h"

#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orvik {

namespace {

constexpr int ProcessNameLength = 15;
// How long a DRM click waits for the decoder asked to close a moment ago to end.
constexpr int ClosingDecoderWaitMs = 2000;

// Variables the program sets in its own environment for itself, none of which the decoder
// should inherit: the sound library's start sets JACK_NO_START_SERVER.
const char* const OwnVariables[] = {"JACK_NO_START_SERVER"};

// The operator's value of each of OwnVariables as the program started; null when unset.
std::vector<std::optional<QByteArray>> operatorValues;
bool operatorValuesRecorded = false;

// The environment a started program gets: this process's, with OwnVariables as the operator
// had them.
std::vector<QByteArray> operatorEnvironment()
{
    std::vector<QByteArray> entries;
    for (char** e = ::environ; e && *e; ++e) {
        const QByteArray entry(*e);
        const bool own = operatorValuesRecorded &&
                         std::any_of(std::begin(OwnVariables), std::end(OwnVariables), [&](const char* name) {
                             return entry.startsWith(QByteArray(name) + '=');
                         });
        if (!own)
            entries.push_back(entry);
    }
    if (operatorValuesRecorded)
        for (size_t i = 0; i < operatorValues.size(); ++i)
            if (operatorValues[i])
                entries.push_back(QByteArray(OwnVariables[i]) + '=' + *operatorValues[i]);
    return entries;
}

// The fields of /proc/PID/stat after the name, the state first; none when it cannot be read.
QList<QByteArray> statFields(const QString& procRoot, const QString& pid)
{
    QFile stat(procRoot + QStringLiteral("/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // The name in parentheses may hold blanks; the fields count from after it.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return {};
    return text.mid(close + 2).split(' ');
}

// A process that has ended keeps its name until its parent (init, for the decoder) reaps it.
bool ended(const QList<QByteArray>& stat)
{
    return stat.isEmpty() || stat[0] == "Z" || stat[0] == "X";
}

bool sameProcessName(const QString& a, const QString& b)
{
    return a.left(ProcessNameLength).compare(b.left(ProcessNameLength), Qt::CaseInsensitive) == 0;
}

template <typename T>
bool readWhole(int fd, T& value)
{
    ssize_t n;
    do
        n = ::read(fd, &value, sizeof value);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof value);
}

// Starts `program` in `folder`, detached: a child of init, so nothing here waits for it, in
// a session of its own. It begins as it would from a shell (applyProgramStart), not with
// the priority power On gave this process. The process id, or 0 when it could not start.
qint64 startProgram(const QString& program, const QStringList& arguments, const QString& folder)
{
    const QString path = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return 0;
    // Everything the child uses is made now: between fork and exec it may only make
    // async-signal-safe calls, as the other threads' locks are copied as they were.
    std::vector<QByteArray> words{QFile::encodeName(path)};
    for (const QString& a : arguments)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> environment = operatorEnvironment();
    std::vector<char*> envp;
    for (QByteArray& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const QByteArray encodedFolder = QFile::encodeName(folder);
    const char* const file = argv[0];
    const char* const dir = encodedFolder.isEmpty() ? nullptr : encodedFolder.constData();

    int failure[2];
    int pidPipe[2];
    if (::pipe2(failure, O_CLOEXEC) != 0)
        return 0;
    if (::pipe2(pidPipe, O_CLOEXEC) != 0) {
        ::close(failure[0]);
        ::close(failure[1]);
        return 0;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(failure[0]);
        ::close(pidPipe[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            applyProgramStart();
            int error = 0;
            if (dir && ::chdir(dir) != 0)
                error = errno;
            else {
                ::execve(file, argv.data(), envp.data());
                error = errno;
            }
            // The pipe closes on a successful exec: anything read from it is a failure.
            [[maybe_unused]] const ssize_t told = ::write(failure[1], &error, sizeof error);
            ::_exit(127);
        }
        [[maybe_unused]] const ssize_t told = ::write(pidPipe[1], &grandchild, sizeof grandchild);
        ::_exit(0);
    }
    ::close(failure[1]);
    ::close(pidPipe[1]);
    pid_t pid = -1;
    if (child > 0) {
        if (!readWhole(pidPipe[0], pid))
            pid = -1;
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    int error = 0;
    const bool failed = pid > 0 && readWhole(failure[0], error);
    ::close(failure[0]);
    ::close(pidPipe[0]);
    return pid > 0 && !failed ? pid : 0;
}

} // namespace

int32_t DreamDeviceNumber(int32_t device)
{
    // A stored device number may be anything down to the smallest integer.
    return static_cast<int32_t>(std::max<int64_t>(int64_t{device} - 2, 0));
}

QString DreamDeviceArgs(int32_t captureDevice, int32_t playbackDevice)
{
    return QStringLiteral(" -M 0 -I %1 -O %2")
        .arg(DreamDeviceNumber(captureDevice))
        .arg(DreamDeviceNumber(playbackDevice));
}

QString DreamUserArgs(const QString& templateArgs, double tunedTenthsHz)
{
    const qint64 kHz = static_cast<qint64>(tunedTenthsHz / 10000.0);
    // Text compare: the placeholder is found in any letter case.
    return QString::fromStdString(ORVIK::ReplaceStr(templateArgs.toStdString(), "%CurFreq%",
                                                    std::to_string(kHz), 1, -1, 1));
}

QString DreamCommandLine(const QString& path, const QString& deviceArgs, const QString& userArgs)
{
    return path + deviceArgs + QStringLiteral("  ") + userArgs;
}

QStringList DreamArguments(int32_t captureDevice, int32_t playbackDevice, const QString& userArgs)
{
    QStringList args = {QStringLiteral("-M"), QStringLiteral("0"), QStringLiteral("-I"),
                        QString::number(DreamDeviceNumber(captureDevice)), QStringLiteral("-O"),
                        QString::number(DreamDeviceNumber(playbackDevice))};
    args += QProcess::splitCommand(userArgs);
    return args;
}

int DreamShowState(int32_t windowStyle)
{
    switch (windowStyle) {
    case 0: return 4;
    case 1: return 6;
    case 2: return 0;
    default: return 1;
    }
}

QString TrimAtNull(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

int DreamLauncher::IsProcessRunning(const QString& name) const
{
    const QDir proc(env_.procRoot);
    if (!proc.exists())
        return -1;
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (entries.isEmpty())
        return -1;
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile comm(proc.filePath(entry + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        const QString exe = TrimAtNull(QString::fromLocal8Bit(comm.readAll()).trimmed());
        if (sameProcessName(exe, name) && !ended(statFields(env_.procRoot, entry)))
            return 1;
    }
    return 0;
}

quint64 DreamLauncher::processStartTime(qint64 pid) const
{
    const QList<QByteArray> fields = statFields(env_.procRoot, QString::number(pid));
    // Field 22 of the line is the 20th after the name (state is field 3). A process
    // that has ended but is not reaped yet no longer counts.
    if (fields.size() <= 19 || ended(fields))
        return 0;
    return fields[19].toULongLong();
}

bool DreamLauncher::decoderRunning() const
{
    if (DreamTaskID <= 0 || startTime_ == 0)
        return false;
    return processStartTime(DreamTaskID) == startTime_;
}

bool DreamLauncher::closingDecoderRunning() const
{
    return closingPid_ > 0 && processStartTime(closingPid_) == closingStartTime_;
}

int DreamLauncher::decoderProcessRunning() const
{
    const int status = IsProcessRunning(QStringLiteral("DREAM.exe"));
    return status == 0 ? IsProcessRunning(QFileInfo(options.PathToDream).fileName()) : status;
}

void DreamLauncher::RunDREAM()
{
    if (!options.RunDreamOnDRM || options.PathToDream.isEmpty())
        return;
    int status = decoderProcessRunning();
    if (status == 1 && closingDecoderRunning()) {
        // DRM left and chosen again at once: the decoder asked to close is still ending, and
        // the operator wants a decoder, not that one's last moments.
        const QDeadlineTimer deadline(ClosingDecoderWaitMs);
        while (closingDecoderRunning() && !deadline.hasExpired()) {
            pumpEvents();
            QThread::msleep(10);
        }
        if (closingDecoderRunning()) {
            AddLog(QStringLiteral("RunDREAM : the decoder asked to close (process %1) is still running")
                       .arg(closingPid_));
            messages().show(QStringLiteral("The DREAM decoder that was asked to close (process %1) has not ended yet, "
                                           "so no new one was started.\nChoose DRM again once it has closed.")
                                .arg(closingPid_),
                            QString::fromLatin1(ProductName), MessageButtons::Ok, MessageIcon::None);
            return;
        }
        status = decoderProcessRunning();
    }
    if (status == 1)
        return;
    if (status != 0) {
        messages().show(QStringLiteral("System Error checking for process DREAM.EXE - Please report Problem to ORVIK"),
                        QString::fromLatin1(ProductName), MessageButtons::Ok, MessageIcon::None);
        return;
    }
    const int32_t capture = env_.captureDevice ? env_.captureDevice() : 1;
    const int32_t playback = env_.playbackDevice ? env_.playbackDevice() : 1;
    const double tuned = env_.tunedFrequency ? env_.tunedFrequency() : 0.0;
    const QString userArgs = DreamUserArgs(options.DreamProgArgs, tuned);
    const int showState = DreamShowState(options.DreamWindowStyle);
    AddLog(QStringLiteral("RunDREAM : ") + DreamCommandLine(options.PathToDream, DreamDeviceArgs(capture, playback), userArgs) +
           QStringLiteral(" (show state %1, not applied on this platform)").arg(showState));

    const QString ini = QDir(env_.programFolder).filePath(QStringLiteral("Dream.ini"));
    if (env_.writeIni) {
        env_.writeIni(QStringLiteral("window geometry"), QStringLiteral("analdemvis"), QStringLiteral("0"), ini);
        const bool hiSide = env_.hiSideLO ? env_.hiSideLO() : true;
        env_.writeIni(QStringLiteral("receiver"), QStringLiteral("flipspectrum"),
                      hiSide ? QStringLiteral("0") : QStringLiteral("1"), ini);
    }

    StartingDream = true;
    const qint64 pid = startProgram(options.PathToDream, DreamArguments(capture, playback, userArgs), env_.programFolder);
    const bool started = pid > 0;
    DreamShellResult = started ? static_cast<double>(pid) : 0.0;
    for (int i = 0; i < 15; ++i)
        pumpEvents();
    StartingDream = false;

    if (!started || pid <= 0) {
        messages().show(QStringLiteral("DREAM program located at : ") + options.PathToDream +
                            QStringLiteral("\n failed to execute"),
                        QString::fromLatin1(ProductName), MessageButtons::Ok, MessageIcon::None);
        return;
    }
    DreamTaskID = pid;
    startTime_ = processStartTime(pid);
}

int DreamLauncher::EnumAllWindows()
{
    if (decoderRunning())
        DecoderWindows.push_back(DreamTaskID);
    return 0;
}

void DreamLauncher::CloseListedWindows()
{
    DecoderWindows.clear();
    EnumAllWindows();
    for (qint64 pid : DecoderWindows) {
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        closingPid_ = pid;
        closingStartTime_ = startTime_;
    }
}

void recordOperatorEnvironment()
{
    operatorValues.clear();
    for (const char* name : OwnVariables) {
        const char* value = std::getenv(name);
        operatorValues.push_back(value ? std::optional<QByteArray>(value) : std::nullopt);
    }
    operatorValuesRecorded = true;
}

} // namespace orvik
